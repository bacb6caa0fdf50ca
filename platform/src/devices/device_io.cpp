// Raw sector transfers on a disk or partition, with the disk's faults.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "crypt/loaded_volume_guard.h"
#include "devices/disk_write_gate.h"
#include "files/file_objects.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

constexpr std::uint64_t kSector = 512;

bool covers(const std::optional<std::uint64_t>& sector, std::uint64_t first, std::uint64_t end)
{
    return sector && *sector >= first && *sector < end;
}

// Bytes moved by pread/pwrite until done or an error; a direct transfer the
// device turns down is finished through the buffered descriptor.
template <typename Io>
std::uint64_t transfer(Io io, int buffered, int direct, std::uint64_t size)
{
    std::uint64_t total = 0;
    int fd = direct;
    while (total < size) {
        const ssize_t n = io(fd, total);
        if (n < 0 && errno == EINVAL && fd != buffered) {
            fd = buffered;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<std::uint64_t>(n);
    }
    return total;
}

}  // namespace

// The checks every transfer passes: the device is still there, the handle
// has the access, the range is whole sectors starting inside the device.
// Returns the disk, or null with the last error set.
const machine::Disk* DeviceObject::startTransfer(const machine::State& state, bool write, DWORD size,
                                                 std::uint64_t offset) const
{
    const machine::Disk* disk = currentDisk(state);
    if (!disk)
        return nullptr;
    DWORD error = ERROR_SUCCESS;
    if (write ? !canWrite() : !canRead())
        error = ERROR_ACCESS_DENIED;
    else if (write && disk->writeProtect)
        error = ERROR_WRITE_PROTECT;
    else if (write && !target.cryptLetter && refusedBesideLoadedVolume(state, target.slot, disk->arrival, target.partition))
        error = ERROR_ACCESS_DENIED;
    else if (offset % kSector || size % kSector)  // raw devices move whole sectors only
        error = ERROR_INVALID_PARAMETER;
    else if (offset > target.length || (offset == target.length && size > 0))
        error = ERROR_SECTOR_NOT_FOUND;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    return disk;
}

int DeviceObject::directFor(const machine::Disk& disk, const void* buffer, std::uint64_t at, std::uint64_t count)
{
    return disk.host && disk.blockDevice ? direct.fdFor(fd, buffer, at, count) : fd;
}

const machine::Disk* DeviceObject::currentDisk(const machine::State& state) const
{
    const auto& disks = state.disks;
    if (target.slot < 0 || target.slot >= static_cast<int>(disks.size())) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    const machine::Disk& d = disks[static_cast<size_t>(target.slot)];
    if (!d.present || d.arrival != target.arrival) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return &d;
}

BOOL DeviceObject::read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    *done = 0;
    auto state = machine->readWithoutNames();
    const machine::Disk* disk = startTransfer(*state, false, size, offset);
    if (!disk)
        return FALSE;
    const std::uint64_t count = std::min<std::uint64_t>(size, target.length - offset);
    const std::uint64_t at = target.offset + offset;
    if (covers(disk->faults.failReadAt, at / kSector, (at + count) / kSector)) {
        SetLastError(ERROR_CRC);
        return FALSE;
    }
    const std::uint64_t got = transfer(
        [&](int into, std::uint64_t t) {
            return ::pread(into, static_cast<char*>(buffer) + t, count - t, static_cast<off_t>(at + t));
        },
        fd, directFor(*disk, buffer, at, count), count);
    if (got < count) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    *done = static_cast<DWORD>(got);
    position = offset + got;
    return TRUE;
}

bool DeviceObject::openForWriting(const machine::Disk& disk)
{
    if (!writableLater)
        return true;
    const int writable = machine::openBacking(*machine, disk, O_RDWR);
    if (writable < 0) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    ::close(fd);
    fd = writable;
    direct.reset();  // its descriptor was opened from the read-only one
    writableLater = false;
    return true;
}

BOOL DeviceObject::write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    *done = 0;
    auto state = machine->readWithoutNames();
    const machine::Disk* disk = startTransfer(*state, true, size, offset);
    if (!disk || !openForWriting(*disk))
        return FALSE;
    const std::uint64_t asked = std::min<std::uint64_t>(size, target.length - offset);
    const std::uint64_t at = target.offset + offset;
    const WritePlan plan = admitWrite(*machine, *disk, at, asked, "io");
    const std::uint64_t count = plan.bytes;

    const std::uint64_t put = transfer(
        [&](int into, std::uint64_t t) {
            return ::pwrite(into, static_cast<const char*>(buffer) + t, count - t, static_cast<off_t>(at + t));
        },
        fd, directFor(*disk, buffer, at, count), count);
    const bool flushed = flushIfWriteThrough();
    *done = static_cast<DWORD>(put);
    position = offset + put;
    if (plan.vanish) {
        vanishDisk(*machine, target.slot);
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if (plan.error != ERROR_SUCCESS || put < count || !flushed) {
        SetLastError(plan.error != ERROR_SUCCESS ? plan.error : ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;  // a cut write ends well, with fewer bytes done
}

}  // namespace win::detail
