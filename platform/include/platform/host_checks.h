// What the machine takes from the host is checked before use; these are the
// checks the tools and orvane ask for themselves, to refuse a disk before
// adding it or to say why the host's disks are not followed.
#pragma once

#include <filesystem>
#include <string>

namespace machine {

// Why this process follows none of the host's disks: a tree named by
// ORVANE_HOST_SYSFS, ORVANE_HOST_DEV or ORVANE_HOST_PROC that someone other
// than the running user or root could change ("ORVANE_HOST_SYSFS=/t/sys is
// not safe to use: /t is owned by uid 65534, not by you (uid 0) or root").
// Empty when it may follow them.
std::string hostDisksProblem();

// The first part of path that is a symbolic link ("/dev/disk/by-id/x"), or
// empty when none is.
std::filesystem::path linkOnPath(const std::filesystem::path& path);

// open(2) of an absolute path, no part of which may be a symbolic link: -1
// with errno ELOOP when one is. Close-on-exec.
int openWithoutAnyLink(const std::filesystem::path& path, int flags);

// Why the block device at path may not back an emulated disk now, as for the
// host's disks: a link on its path, or the host using it or a partition of
// it (mounted, swap, held by md, dm or LVM, under a loop device). Empty when
// it may.
std::string blockBackingProblem(const std::filesystem::path& path);

}  // namespace machine
