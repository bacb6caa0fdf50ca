#include "files/share_mode.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace win::detail {

namespace {

// Lock bytes far beyond any data: which access is held, which is denied.
constexpr off_t kBase = off_t(1) << 60;
constexpr off_t kHoldsRead = kBase + 0;
constexpr off_t kHoldsWrite = kBase + 1;
constexpr off_t kDeniesRead = kBase + 2;
constexpr off_t kDeniesWrite = kBase + 3;

struct flock oneByte(short type, off_t byte)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

bool othersHold(int fd, off_t byte)
{
    struct flock probe = oneByte(F_WRLCK, byte);
    return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

bool hold(int fd, off_t byte)
{
    struct flock lock = oneByte(F_RDLCK, byte);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// flock() on the claim's own descriptor, a fresh open of the lock file,
// makes check-then-claim one step for every process and thread: flock and
// the byte locks below are separate kinds of lock.
class Exclusive {
public:
    explicit Exclusive(int fd) : fd_(fd)
    {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~Exclusive() { ::flock(fd_, LOCK_UN); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    int fd_;
};

}  // namespace

ShareClaim::~ShareClaim() { release(); }

ShareClaim::ShareClaim(ShareClaim&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

ShareClaim& ShareClaim::operator=(ShareClaim&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void ShareClaim::release()
{
    if (fd_ >= 0)
        ::close(fd_);  // drops every lock of this description
    fd_ = -1;
}

DWORD ShareClaim::claim(int lockFd, DWORD access, DWORD share)
{
    release();
    const bool wantRead = access & (GENERIC_READ | GENERIC_ALL);
    const bool wantWrite = access & (GENERIC_WRITE | GENERIC_ALL);
    const bool denyRead = !(share & FILE_SHARE_READ);
    const bool denyWrite = !(share & FILE_SHARE_WRITE);
    bool granted = false;
    {
        Exclusive guard(lockFd);
        const bool refused = (wantRead && othersHold(lockFd, kDeniesRead)) ||
                             (wantWrite && othersHold(lockFd, kDeniesWrite)) ||
                             (denyRead && othersHold(lockFd, kHoldsRead)) || (denyWrite && othersHold(lockFd, kHoldsWrite));
        granted = !refused && (!wantRead || hold(lockFd, kHoldsRead)) && (!wantWrite || hold(lockFd, kHoldsWrite)) &&
                  (!denyRead || hold(lockFd, kDeniesRead)) && (!denyWrite || hold(lockFd, kDeniesWrite));
    }
    if (!granted) {
        ::close(lockFd);  // drops whatever was held
        return ERROR_SHARING_VIOLATION;
    }
    fd_ = lockFd;
    return ERROR_SUCCESS;
}

int openDeviceLockFile(const std::string& machineDir, int diskSlot, int partition)
{
    const std::filesystem::path dir = std::filesystem::path(machineDir) / "locks";
    const auto file = dir / ("disk" + std::to_string(diskSlot) + "-part" + std::to_string(partition));
    const auto open = [&] { return ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600); };
    // The folder is made once; every device open comes here.
    int fd = open();
    if (fd < 0 && errno == ENOENT) {
        // The owner's alone whatever the umask: whoever may write here may
        // hide a disk by planting a link at its lock.
        if (::mkdir(dir.c_str(), 0700) == 0)
            ::chmod(dir.c_str(), 0700);
        fd = open();
    }
    return fd;
}

}  // namespace win::detail
