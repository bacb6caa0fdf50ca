// Where the project's helper programs are, found from the running program
// itself: the same build works from its build tree and installed.
#pragma once

#include <filesystem>
#include <string_view>

namespace machine {

// The helper program name (orvane-cmd, cmddev): beside the running program,
// as every program is in the build tree, else in the helpers' folder of an
// installed tree (../libexec/orvane-config from the programs' folder).
// Empty when neither holds it.
std::filesystem::path helperProgram(std::string_view name);

// The folder of this platform library: our programs written into a machine
// (cmddev.exe) load it from there, wherever the machine's folder is.
std::filesystem::path platformLibraryFolder();

}  // namespace machine
