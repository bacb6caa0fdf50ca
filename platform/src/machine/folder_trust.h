// Making, checking and pinning machine folders (folderTrustProblem is in
// machine.h). A folder is judged on the descriptors of the walk that reaches
// it, and then used through the descriptor alone, so what was checked is
// what is used even if a name on the way is switched afterwards.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

namespace machine {

// The checked machine folder, held open. The descriptor is O_PATH and not
// close-on-exec: the machine's children (cmd.exe, cmddev, host formatters,
// orvane's workers) inherit it under the same number, so path, which names
// it as /proc/self/fd/N, leads to this very folder in them too.
struct PinnedFolder {
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    std::filesystem::path path;  // /proc/self/fd/N
    PinnedFolder() = default;
    PinnedFolder(const PinnedFolder&) = delete;
    PinnedFolder& operator=(const PinnedFolder&) = delete;
    ~PinnedFolder();
};

// Opens dir as given, judging every step for the running user: each link on
// the way must be the user's or root's, each folder as folderTrustProblem
// says. With create, missing folders are made 0700 on the way. A
// /proc/self/fd/N or /dev/fd/N names a folder this process holds (as a
// child of the machine's program does): it is judged again along its
// present path and must be that same folder. Throws MachineError ("the
// machine folder DIR is not safe to use: ..."); nullptr when dir does not
// exist and create is off.
std::shared_ptr<const PinnedFolder> pinFolder(const std::filesystem::path& dir, bool create);

// Why a folder the machine writes in (locks, keys, drive_c and the folders
// on the way to its programs and templates) may not be used, naming it
// ("M/locks is writable by others (mode 0777)"), or empty. Missing ones are
// fine: the product makes them 0700.
std::string innerFolderProblem(const PinnedFolder& folder, const std::filesystem::path& shown, uid_t user);

// Throws MachineError ("the machine folder SHOWN is not safe to use: ...")
// when innerFolderProblem finds one for the running user.
void checkInnerFolders(const PinnedFolder& folder, const std::filesystem::path& shown);

// Makes the folders of relative beneath the pinned folder that are missing,
// each 0700 whatever the umask, never going through a link.
void makeFoldersBeneath(int folderFd, const std::filesystem::path& relative);

// Makes the folders of dir that are missing, each 0700 whatever the umask.
void makeOwnFolders(const std::filesystem::path& dir);

}  // namespace machine
