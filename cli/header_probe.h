// Which password opens a private partition's header as the disk holds it
// now. Read only: for telling the truth after a password change that did
// not finish.
#pragma once

#include <string>

namespace cli {

enum class HeaderOpener { Current, Chosen, Neither, Unreadable };

HeaderOpener headerOpener(const char* partitionPath, const std::string& current, const std::string& chosen);

}  // namespace cli
