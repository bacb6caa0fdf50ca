// Opening host files of the machine without following links: inside the
// machine folder every part of the path is resolved beneath the folder and
// none may be a link; elsewhere the last part may not be one.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace machine {

// open(2) flags plus these rules; -1 with errno set (ELOOP for a link,
// EXDEV for a path leaving the folder).
int openWithoutLinks(const std::filesystem::path& host, int flags, mode_t mode = 0600);

// What openWithoutLinks does beneath the folder on kernels without openat2:
// one part at a time, each opened without following it.
int openPartByPart(int folder, const std::filesystem::path& relative, int flags, mode_t mode);

// A host path of the machine as people know it, for messages: the held
// folder's /proc/self/fd/N name replaced by the folder's own.
std::string shownPath(const std::filesystem::path& host);

}  // namespace machine
