#include "machine/folder_trust.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/machine.h"

namespace machine {

namespace {

std::string modeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string ownerProblem(const fs::path& folder, const struct stat& st, uid_t user)
{
    if (st.st_uid == user || st.st_uid == 0)
        return {};
    return folder.string() + " is owned by uid " + std::to_string(st.st_uid) + ", not by you (uid " +
           std::to_string(user) + ") or root";
}

std::string writersProblem(const fs::path& folder, const struct stat& st, bool stickyRootAllowed)
{
    if (!(st.st_mode & (S_IWGRP | S_IWOTH)))
        return {};
    // Others may add names to a sticky folder of root's, but not take ours.
    if (stickyRootAllowed && (st.st_mode & S_ISVTX) && st.st_uid == 0)
        return {};
    const char* who = (st.st_mode & S_IWOTH) ? "others" : "its group";
    return folder.string() + " is writable by " + who + " (mode " + modeText(st.st_mode) + ")";
}

}  // namespace

std::string folderTrustProblem(const fs::path& dir, uid_t user)
{
    std::error_code ec;
    fs::path folder = fs::absolute(dir, ec).lexically_normal();
    if (ec)
        return "cannot resolve " + dir.string() + ": " + ec.message();
    // The part that exists, with its links resolved: a link planted in a
    // shared folder leads to the folder that is then judged.
    bool missing = false;
    while (!fs::exists(folder, ec) && folder.has_relative_path()) {
        folder = folder.parent_path();
        missing = true;
    }
    folder = fs::canonical(folder, ec);
    if (ec)
        return "cannot resolve " + dir.string() + ": " + ec.message();
    for (bool first = !missing;; first = false) {
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0)
            return "cannot inspect " + folder.string() + ": " + std::strerror(errno);
        if (!S_ISDIR(st.st_mode))
            return folder.string() + " is not a folder";
        if (std::string why = ownerProblem(folder, st, user); !why.empty())
            return why;
        if (std::string why = writersProblem(folder, st, !first); !why.empty())
            return why;
        if (!folder.has_relative_path())
            return {};
        folder = folder.parent_path();
    }
}

void makeOwnFolders(const fs::path& dir)
{
    const fs::path abs = fs::absolute(dir).lexically_normal();
    fs::path made = abs.root_path();
    for (const fs::path& part : abs.relative_path()) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0) {
            if (::chmod(made.c_str(), 0700) != 0)
                throw MachineError("cannot set the mode of " + made.string() + ": " + std::strerror(errno));
        } else if (errno != EEXIST) {
            throw MachineError("cannot create " + made.string() + ": " + std::strerror(errno));
        }
    }
}

}  // namespace machine
