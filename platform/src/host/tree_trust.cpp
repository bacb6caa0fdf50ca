#include "host/tree_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>

#include "host/host_roots.h"
#include "platform/host_checks.h"
#include "platform/machine.h"

namespace host {

namespace fs = std::filesystem;

namespace {

constexpr int kMostLinks = 40;  // as the kernel's own limit

std::string ownerProblem(const fs::path& path, const char* what, const struct stat& st, uid_t user)
{
    if (st.st_uid == user || st.st_uid == 0)
        return {};
    return path.string() + what + " owned by uid " + std::to_string(st.st_uid) + ", not by you (uid " +
           std::to_string(user) + ") or root";
}

std::string entryProblem(const fs::path& path, const struct stat& st, uid_t user)
{
    if (std::string why = ownerProblem(path, " is", st, user); !why.empty())
        return why;
    if (!(st.st_mode & (S_IWGRP | S_IWOTH)))
        return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return path.string() + " is writable by " + ((st.st_mode & S_IWOTH) ? "others" : "its group") + " (mode " +
           mode + ")";
}

}  // namespace

std::string treeEntryProblem(const fs::path& given)
{
    const uid_t user = ::geteuid();
    std::error_code ec;
    const fs::path abs = given.is_absolute() ? given : fs::current_path(ec) / given;
    if (ec)
        return "cannot resolve " + given.string() + ": " + ec.message();
    std::deque<std::string> todo;
    for (const auto& part : abs.relative_path())
        todo.push_back(part.string());
    // Resolved as the kernel would, one name at a time, so every link on the
    // way is seen, not only the last.
    fs::path at = "/";
    std::set<std::string> judged;
    const auto judge = [&](const fs::path& folder) {
        if (!judged.insert(folder.string()).second)
            return std::string();
        // Others may add names to a sticky folder of root's (as /tmp) but not
        // take ours: holding a link of the user's or root's, it counts as
        // a folder above.
        struct stat st {};
        if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) && st.st_uid == 0 &&
            folder.has_relative_path())
            return machine::folderTrustProblem(folder.parent_path(), user);
        return machine::folderTrustProblem(folder, user);
    };
    for (int links = 0; !todo.empty();) {
        const std::string name = todo.front();
        todo.pop_front();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            at = at.parent_path();
            continue;
        }
        const fs::path next = at / name;
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0)
            return "cannot inspect " + next.string() + ": " + std::strerror(errno);
        if (!S_ISLNK(st.st_mode)) {
            if (!todo.empty() && !S_ISDIR(st.st_mode))
                return next.string() + " is not a folder";
            at = next;
            continue;
        }
        // As the kernel's protected_symlinks: followed only when neither the
        // link's owner nor whoever may change its folder could be steering us.
        if (std::string why = ownerProblem(next, " is a symbolic link", st, user); !why.empty())
            return why;
        if (++links > kMostLinks)
            return next.string() + " goes through too many symbolic links";
        if (std::string why = judge(at); !why.empty())
            return why;
        const fs::path target = fs::read_symlink(next, ec);
        if (ec || target.empty())
            return "cannot read the symbolic link " + next.string();
        if (target.is_absolute())
            at = "/";
        std::deque<std::string> parts;
        for (const auto& part : target.relative_path())
            parts.push_back(part.string());
        todo.insert(todo.begin(), parts.begin(), parts.end());
    }
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0)
        return "cannot inspect " + at.string() + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return machine::folderTrustProblem(at, user);
    if (std::string why = judge(at.parent_path()); !why.empty())
        return why;
    return entryProblem(at, st, user);
}

std::string hostRootsProblem()
{
    struct Root {
        const char* variable;
        bool moved;
        fs::path path;
        const char* inner;  // a folder walked below it, judged with it
    };
    const Root roots[] = {{"ORVANE_HOST_SYSFS", sysfsRootMoved(), sysfsRoot(), "block"},
                          {"ORVANE_HOST_DEV", devRootMoved(), devRoot(), nullptr},
                          {"ORVANE_HOST_PROC", procRootMoved(), procRoot(), nullptr}};
    for (const auto& root : roots) {
        if (!root.moved)
            continue;
        std::string why = treeEntryProblem(root.path);
        std::error_code ec;
        if (why.empty() && root.inner && fs::exists(root.path / root.inner, ec))
            why = treeEntryProblem(root.path / root.inner);
        if (!why.empty())
            return std::string(root.variable) + "=" + root.path.string() + " is not safe to use: " + why;
    }
    return {};
}

}  // namespace host

namespace machine {

std::string hostDisksProblem() { return host::hostRootsProblem(); }

}  // namespace machine
