// A host tree named by ORVANE_HOST_SYSFS, _DEV or _PROC steers what root
// judges, opens and writes (a disk node, a USB device's authorized file), so
// it is trusted only as a machine folder is: the running user's or root's,
// and nobody else's to change, down to each entry that is used.
#pragma once

#include <filesystem>
#include <string>

namespace host {

// Why the moved roots may not be used, naming the variable at fault
// ("ORVANE_HOST_SYSFS=/srv/t is not safe to use: /srv/t is owned by uid
// 65534, ..."); empty when none is moved or each may be.
std::string hostRootsProblem();

// Why an entry of a moved tree may not be used; empty when it may. Every
// link on the way must be the user's or root's and sit in a folder that
// folderTrustProblem accepts; a folder reached is judged as a machine folder,
// any other entry must be the user's or root's, writable by nobody else, in
// such a folder.
std::string treeEntryProblem(const std::filesystem::path& path);

// treeEntryProblem when moved, else nothing to say: the real /sys, /dev and
// /proc are the kernel's.
inline std::string usedEntryProblem(const std::filesystem::path& path, bool moved)
{
    return moved ? treeEntryProblem(path) : std::string();
}

}  // namespace host
