// The programs Windows keeps in its system folder that the product runs.
#pragma once

#include <filesystem>

namespace machine {

// Writes drive_c's Windows\system32\cmd.exe: a script running our command
// interpreter, which formats volumes of the machine.
void writeSystemPrograms(const std::filesystem::path& driveC);

}  // namespace machine
