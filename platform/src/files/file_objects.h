// What a file handle names: a host file or a device of the machine.
#pragma once

#include <unistd.h>

#include <memory>

#include "devices/device_resolve.h"
#include "devices/direct_io.h"
#include "files/share_mode.h"
#include "platform/machine.h"
#include "system/handles.h"

namespace host {
class DiskHold;
}

namespace win::detail {

struct FileObject : HandleObject {
    int fd = -1;
    DWORD access = 0;
    DWORD flags = 0;
    std::uint64_t position = 0;
    ShareClaim share;

    ~FileObject() override
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool canRead() const { return access & (GENERIC_READ | GENERIC_ALL); }
    bool canWrite() const { return access & (GENERIC_WRITE | GENERIC_ALL); }
    bool writeThrough() const { return flags & FILE_FLAG_WRITE_THROUGH; }
    // A write-through write is done only once its data is on the medium; a
    // flush the host refuses fails the write (files that cannot be synced
    // at all pass).
    bool flushIfWriteThrough() const;

    // Transfers at an offset; the pointer moves past what was transferred.
    virtual BOOL read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done) = 0;
    virtual BOOL write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done) = 0;
    virtual std::uint64_t size() const = 0;
};

struct HostFileObject : FileObject {
    BOOL read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;
    BOOL write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;
    std::uint64_t size() const override;
};

// A whole disk or one partition; the open lasts as long as the device's
// arrival, as a Windows device object does.
struct DeviceObject : FileObject {
    std::shared_ptr<machine::Machine> machine;
    DeviceTarget target;
    DirectIo direct;  // host block devices only
    std::shared_ptr<host::DiskHold> hold;  // a whole disk locked for a job through this handle
    bool writableLater = false;  // opened for writing, its descriptor read-only until the first write

    BOOL read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;
    BOOL write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done) override;
    std::uint64_t size() const override { return target.length; }
    // The disk as it is now, or null (and the last error set) when it left.
    const machine::Disk* currentDisk(const machine::State& state) const;

private:
    int directFor(const machine::Disk& disk, const void* buffer, std::uint64_t at, std::uint64_t count);
    // The descriptor opened for writing now, at the first write.
    bool openForWriting(const machine::Disk& disk);
    const machine::Disk* startTransfer(const machine::State& state, bool write, DWORD size, std::uint64_t offset) const;
};

HANDLE openDevice(std::string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags);

}  // namespace win::detail
