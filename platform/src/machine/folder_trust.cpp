#include "machine/folder_trust.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/machine.h"

namespace machine {

namespace {

constexpr int kMostLinks = 40;  // as the kernel's own limit

std::string modeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string notYours(const std::string& what, const struct stat& st, uid_t user)
{
    return what + " owned by uid " + std::to_string(st.st_uid) + ", not by you (uid " + std::to_string(user) +
           ") or root";
}

std::string ownerProblem(const std::string& folder, const struct stat& st, uid_t user)
{
    if (st.st_uid == user || st.st_uid == 0)
        return {};
    return notYours(folder + " is", st, user);
}

std::string writersProblem(const std::string& folder, const struct stat& st, bool stickyRootAllowed)
{
    if (!(st.st_mode & (S_IWGRP | S_IWOTH)))
        return {};
    // Others may add names to a sticky folder of root's, but not take ours.
    if (stickyRootAllowed && (st.st_mode & S_ISVTX) && st.st_uid == 0)
        return {};
    const char* who = (st.st_mode & S_IWOTH) ? "others" : "its group";
    return folder + " is writable by " + who + " (mode " + modeText(st.st_mode) + ")";
}

std::string folderProblem(const std::string& folder, const struct stat& st, uid_t user, bool above)
{
    if (!S_ISDIR(st.st_mode))
        return folder + " is not a folder";
    if (std::string why = ownerProblem(folder, st, user); !why.empty())
        return why;
    return writersProblem(folder, st, above);
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The folders reached so far, each held open, so ".." goes back to the
// folder the walk came from, not to whatever a name now leads to.
class FolderStack {
public:
    ~FolderStack()
    {
        for (auto& f : folders_)
            ::close(f.fd);
    }
    void push(int fd, std::string shown) { folders_.push_back({fd, std::move(shown)}); }
    void pop()
    {
        ::close(folders_.back().fd);
        folders_.pop_back();
    }
    std::size_t size() const { return folders_.size(); }
    int fd() const { return folders_.back().fd; }
    const std::string& shown() const { return folders_.back().shown; }
    int release()
    {
        const int fd = folders_.back().fd;
        folders_.pop_back();
        return fd;
    }

private:
    struct Folder {
        int fd;
        std::string shown;
    };
    std::vector<Folder> folders_;
};

struct Walked {
    int fd = -1;  // the folder, close-on-exec; -1 on a problem or when missing
    std::string problem;
    bool missing = false;
};

// Makes name in the folder, 0700 whatever the umask; the new folder opened,
// or -1 with errno set.
int makeFolderIn(int parent, const std::string& name)
{
    const bool made = ::mkdirat(parent, name.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return -1;
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && made && ::fchmod(fd, 0700) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Walked walk(const fs::path& dir, uid_t user, bool create)
{
    Walked out;
    if (dir.empty()) {
        out.problem = "no folder named";
        return out;
    }
    std::error_code ec;
    const fs::path abs = dir.is_absolute() ? dir : fs::current_path(ec) / dir;
    if (ec) {
        out.problem = "cannot resolve " + dir.string() + ": " + ec.message();
        return out;
    }
    std::deque<std::string> todo;
    for (const auto& part : abs.relative_path())
        todo.push_back(part.string());
    FolderStack stack;
    const auto enterRoot = [&]() -> bool {
        while (stack.size() > 0)
            stack.pop();
        const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        if (root < 0 || ::fstat(root, &st) != 0) {
            out.problem = std::string("cannot inspect /: ") + std::strerror(errno);
            if (root >= 0)
                ::close(root);
            return false;
        }
        stack.push(root, "/");
        out.problem = folderProblem("/", st, user, true);
        return out.problem.empty();
    };
    if (!enterRoot())
        return out;
    for (int links = 0; !todo.empty();) {
        const std::string name = todo.front();
        todo.pop_front();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (stack.size() > 1)
                stack.pop();
            continue;
        }
        const std::string shown = joined(stack.shown(), name);
        int next = ::openat(stack.fd(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create)
            next = makeFolderIn(stack.fd(), name);
        if (next < 0) {
            if (errno == ENOENT) {
                out.missing = true;
                return out;
            }
            out.problem = "cannot open " + shown + ": " + std::strerror(errno);
            return out;
        }
        struct stat st {};
        if (::fstat(next, &st) != 0) {
            out.problem = "cannot inspect " + shown + ": " + std::strerror(errno);
            ::close(next);
            return out;
        }
        if (S_ISLNK(st.st_mode)) {
            // As the kernel's protected_symlinks: a link is followed only
            // when its owner could not be steering us somewhere else.
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(next, "", target, sizeof target);
            ::close(next);
            if (st.st_uid != user && st.st_uid != 0)
                out.problem = notYours(shown + " is a symbolic link", st, user);
            else if (++links > kMostLinks)
                out.problem = shown + " goes through too many symbolic links";
            else if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
                out.problem = "cannot read the symbolic link " + shown;
            if (!out.problem.empty())
                return out;
            const fs::path to(std::string(target, static_cast<std::size_t>(n)));
            std::vector<std::string> parts;
            for (const auto& part : to.relative_path())
                parts.push_back(part.string());
            todo.insert(todo.begin(), parts.begin(), parts.end());
            if (to.is_absolute() && !enterRoot())
                return out;
            continue;
        }
        stack.push(next, shown);
        // Each folder is judged as one above the machine; the last one
        // again below, as the machine folder itself.
        if (std::string why = folderProblem(shown, st, user, true); !why.empty()) {
            out.problem = why;
            return out;
        }
    }
    struct stat st {};
    if (::fstat(stack.fd(), &st) != 0) {
        out.problem = "cannot inspect " + stack.shown() + ": " + std::strerror(errno);
        return out;
    }
    out.problem = folderProblem(stack.shown(), st, user, false);
    if (out.problem.empty())
        out.fd = stack.release();
    return out;
}

// "/proc/self/fd/N" or "/dev/fd/N": N, else -1.
int heldDescriptorNamed(const fs::path& dir)
{
    const std::string text = dir.string();
    for (const std::string_view prefix : {"/proc/self/fd/", "/dev/fd/"}) {
        if (text.rfind(prefix, 0) != 0)
            continue;
        int fd = -1;
        const char* first = text.data() + prefix.size();
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, fd);
        if (error == std::errc() && end == last && first != last && fd >= 0)
            return fd;
    }
    return -1;
}

// A held folder judged along the path it has now: the walk must end at it.
Walked walkHeld(int held, uid_t user)
{
    Walked out;
    struct stat heldSt {};
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(held);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    if (::fstat(held, &heldSt) != 0 || !S_ISDIR(heldSt.st_mode) || n <= 0 ||
        static_cast<std::size_t>(n) >= sizeof path || path[0] != '/') {
        out.problem = link + " is not a folder this process holds";
        return out;
    }
    const std::string now(path, static_cast<std::size_t>(n));
    out = walk(now, user, false);
    struct stat walkedSt {};
    if (out.problem.empty() && (out.fd < 0 || ::fstat(out.fd, &walkedSt) != 0 || walkedSt.st_dev != heldSt.st_dev ||
                                walkedSt.st_ino != heldSt.st_ino)) {
        if (out.fd >= 0)
            ::close(out.fd);
        out = Walked{};
        out.problem = link + " is no longer the folder at " + now;
    }
    return out;
}

std::mutex& pinsLock()
{
    static std::mutex m;
    return m;
}

// One descriptor per folder in a process, so every Machine of the folder
// names it by the same path.
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<const PinnedFolder>>& pins()
{
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<const PinnedFolder>> held;
    return held;
}

// A number not given out lately, so a path kept elsewhere (a notice's
// record, a disk hold) does not come to name the next machine's folder.
// Called under pinsLock().
int spreadNumber(int fd)
{
    constexpr int kFirst = 100;
    static int next = kFirst;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur < 2 * kFirst)
        return fd;
    if (static_cast<rlim_t>(next) + kFirst / 2 >= limit.rlim_cur)
        next = kFirst;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, next);
    if (moved < 0)
        return fd;
    ::close(fd);
    next = moved + 1;
    return moved;
}

}  // namespace

PinnedFolder::~PinnedFolder()
{
    if (fd >= 0)
        ::close(fd);
}

std::string folderTrustProblem(const fs::path& dir, uid_t user)
{
    const int held = heldDescriptorNamed(dir);
    Walked w = held >= 0 ? walkHeld(held, user) : walk(dir, user, false);
    if (w.fd >= 0)
        ::close(w.fd);
    return w.problem;
}

std::shared_ptr<const PinnedFolder> pinFolder(const fs::path& dir, bool create)
{
    const int held = heldDescriptorNamed(dir);
    Walked w = held >= 0 ? walkHeld(held, ::geteuid()) : walk(dir, ::geteuid(), create);
    if (!w.problem.empty())
        throw MachineError("the machine folder " + dir.string() + " is not safe to use: " + w.problem);
    if (w.missing)
        return nullptr;
    std::lock_guard guard(pinsLock());
    auto pin = std::make_shared<PinnedFolder>();
    pin->fd = spreadNumber(w.fd);
    struct stat st {};
    if (::fstat(pin->fd, &st) != 0 || ::fcntl(pin->fd, F_SETFD, 0) != 0)
        throw MachineError("cannot hold the machine folder " + dir.string() + ": " + std::strerror(errno));
    pin->dev = st.st_dev;
    pin->ino = st.st_ino;
    std::erase_if(pins(), [](const auto& entry) { return entry.second.expired(); });
    auto& slot = pins()[{pin->dev, pin->ino}];
    if (auto same = slot.lock())
        return same;
    pin->path = "/proc/self/fd/" + std::to_string(pin->fd);
    slot = pin;
    return pin;
}

std::string innerFolderProblem(const PinnedFolder& folder, const fs::path& shown, uid_t user)
{
    static const char* const kInner[] = {
        "locks",
        "keys",
        "drive_c/Windows/system32",
        "drive_c/Windows/SysWOW64",
        "drive_c/ProgramData/Microsoft/Windows/Templates/DiskJobs",
        "drive_c/ProgramData/Microsoft/Windows/Templates/UpgradeLanguage",
        "drive_c/Documents and Settings/All Users/Templates/DiskJobs",
        "drive_c/Documents and Settings/All Users/Templates/UpgradeLanguage",
    };
    for (const char* inner : kInner) {
        std::string at = shown.string();
        FolderStack stack;
        stack.push(::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0), at);
        for (const auto& part : fs::path(inner)) {
            at += "/" + part.string();
            const int next = ::openat(stack.fd(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT)
                break;
            struct stat st {};
            if (next < 0 || ::fstat(next, &st) != 0) {
                if (next >= 0)
                    ::close(next);
                return "cannot inspect " + at + ": " + std::strerror(errno);
            }
            stack.push(next, at);
            if (S_ISLNK(st.st_mode))
                return at + " is a symbolic link";
            if (std::string why = folderProblem(at, st, user, false); !why.empty())
                return why;
        }
    }
    return {};
}

void checkInnerFolders(const PinnedFolder& folder, const fs::path& shown)
{
    if (std::string why = innerFolderProblem(folder, shown, ::geteuid()); !why.empty())
        throw MachineError("the machine folder " + shown.string() + " is not safe to use: " + why);
}

void makeFoldersBeneath(int folderFd, const fs::path& relative)
{
    FolderStack stack;
    stack.push(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0), {});
    for (const auto& part : relative) {
        const int next = makeFolderIn(stack.fd(), part.string());
        if (next < 0)
            throw MachineError("cannot make the folder " + relative.string() + " in the machine: " +
                               std::strerror(errno));
        stack.push(next, {});
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
