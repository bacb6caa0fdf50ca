// Where a driver file comes from and goes to: the caller's folder, and the
// drivers folder under the Windows directory (SysWOW64 on 64-bit Windows).
#pragma once

#include <string>

namespace kx {

bool regularFileExists(const std::string& path);
// folder\name, with the separator added when the folder lacks it.
std::string driverSource(const std::string& folder, const std::string& name);
std::string driverTarget(const std::string& name);

}  // namespace kx
