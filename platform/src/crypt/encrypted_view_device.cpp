#include "crypt/encrypted_view_device.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "crypto/secure_bytes.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

constexpr std::uint64_t kUnit = 512;

std::filesystem::path lockFileOf(const machine::Machine& m, char letter, std::uint64_t mountStamp)
{
    return m.dir() / "locks" / ("crypt-" + std::string(1, letter) + "-" + std::to_string(mountStamp));
}

struct flock firstByte(short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return lock;
}

// Every open handle holds a shared lock on the lock file's first byte, on a
// description of its own, so any process can see it.
int takeOpenMark(const machine::Machine& m, char letter, std::uint64_t mountStamp)
{
    const int fd = openCryptVolumeLockFile(m, letter, mountStamp);
    struct flock lock = firstByte(F_RDLCK);
    if (fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

}  // namespace

int openCryptVolumeLockFile(const machine::Machine& m, char letter, std::uint64_t mountStamp)
{
    std::error_code ec;
    std::filesystem::create_directories(m.dir() / "locks", ec);
    return ::open(lockFileOf(m, letter, mountStamp).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool cryptVolumeInUse(const machine::Machine& m, char letter, std::uint64_t mountStamp)
{
    const int fd = ::open(lockFileOf(m, letter, mountStamp).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe = firstByte(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

void removeCryptVolumeLockFile(const machine::Machine& m, char letter, std::uint64_t mountStamp)
{
    std::error_code ec;
    std::filesystem::remove(lockFileOf(m, letter, mountStamp), ec);
}

std::shared_ptr<EncryptedVolumeObject> makeEncryptedVolumeObject(const machine::Machine& m, const machine::State& state,
                                                                 const DeviceTarget& target)
{
    const machine::CryptVolume* volume = machine::cryptVolumeOn(state, target.cryptLetter);
    auto object = std::make_shared<EncryptedVolumeObject>();
    if (volume)
        object->view = EncryptedView::create(m, *volume);
    if (!object->view) {
        SetLastError(ERROR_NOT_READY);
        return nullptr;
    }
    object->readOnly = volume->readOnly;
    object->openMark = takeOpenMark(m, target.cryptLetter, target.cryptMount);
    if (object->openMark < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

EncryptedVolumeObject::~EncryptedVolumeObject()
{
    if (openMark >= 0)
        ::close(openMark);
}

// A forced dismount leaves handles open on a volume that is gone.
bool EncryptedVolumeObject::stillMounted() const
{
    const auto now = cryptVolumeTarget(*machine->readWithoutNames(), target.cryptLetter);
    return now && now->cryptMount == target.cryptMount;
}

BOOL EncryptedVolumeObject::read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    *done = 0;
    if (!stillMounted())
        return fail(ERROR_NOT_READY);
    if (!DeviceObject::read(buffer, size, offset, done))
        return FALSE;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (!view->decrypt(offset, {bytes, *done})) {
        kx::crypto::secureWipe(bytes, *done);
        *done = 0;
        return fail(ERROR_READ_FAULT);
    }
    return TRUE;
}

BOOL EncryptedVolumeObject::write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    *done = 0;
    if (!stillMounted())
        return fail(ERROR_NOT_READY);
    if (readOnly && canWrite())
        return fail(ERROR_WRITE_PROTECT);
    // The device checks range and access; only what it would take is encrypted.
    if (offset % kUnit || size % kUnit)
        return fail(ERROR_INVALID_PARAMETER);
    if (offset > target.length || (offset == target.length && size > 0))
        return fail(ERROR_SECTOR_NOT_FOUND);
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, target.length - offset));
    std::vector<std::uint8_t> sealed(static_cast<const std::uint8_t*>(buffer),
                                     static_cast<const std::uint8_t*>(buffer) + count);
    if (!view->encrypt(offset, sealed))
        return fail(ERROR_WRITE_FAULT);
    return DeviceObject::write(sealed.data(), static_cast<DWORD>(count), offset, done);
}

}  // namespace win::detail
