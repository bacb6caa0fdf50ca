// Making and checking machine folders (folderTrustProblem is in machine.h).
#pragma once

#include <filesystem>

namespace machine {

// Makes the folders of dir that are missing, each 0700 whatever the umask.
void makeOwnFolders(const std::filesystem::path& dir);

// Throws MachineError naming the folder and the reason when
// folderTrustProblem finds one for the running user.
void checkFolderTrust(const std::filesystem::path& dir);

}  // namespace machine
