// The raw volume under a private partition, opened for header work and
// volume creation, and the driver's password record.
#include "windev/pedwin_crypt_volume.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "windev/pedwindow_paths.h"
#include "platform/win_api.h"

namespace kx {

bool makePasswordRecord(const char* text, PasswordRecord& record)
{
    std::memset(&record, 0, sizeof record);
    const std::size_t length = text ? std::strlen(text) : 0;
    if (length > win::crypt_driver::maxPassword)
        return false;
    record.length = static_cast<std::uint32_t>(length);
    if (length)
        std::memcpy(record.text, text, length);
    return true;
}

crypto::PasswordView passwordOf(const PasswordRecord& record)
{
    return {record.text, record.length};
}

void wipePasswordRecord(PasswordRecord& record)
{
    crypto::secureWipe(&record, sizeof record);
}

bool isKernelPath(const char* path)
{
    return path && strncasecmp(path, "\\DEVICE", 7) == 0;
}

VolumeHandle::VolumeHandle(const char* path, win::DWORD share, bool viaDosName)
    : path_(path), device_(isKernelPath(path))
{
    if (!path_)
        return;
    char name[win::MAX_PATH + 8];
    const char* open = path_;
    if (device_ && viaDosName) {
        if (!defineTempName(path_)) {
            openError_ = win::GetLastError();
            return;
        }
        named_ = true;
        std::snprintf(name, sizeof name, "\\\\.\\%s", tempDosName());
        open = name;
    }
    handle_ = win::CreateFileA(open, win::GENERIC_READ | win::GENERIC_WRITE, share, nullptr, win::OPEN_EXISTING, 0,
                               nullptr);
    if (handle_ == win::INVALID_HANDLE_VALUE)
        openError_ = win::GetLastError();
}

VolumeHandle::~VolumeHandle()
{
    if (handle_ != win::INVALID_HANDLE_VALUE)
        win::CloseHandle(handle_);
    if (named_)
        removeTempName(path_);
}

std::uint64_t VolumeHandle::size() const
{
    win::DWORD returned = 0;
    if (!device_) {
        win::LARGE_INTEGER bytes{};
        return win::GetFileSizeEx(handle_, &bytes) && bytes.QuadPart > 0 ? static_cast<std::uint64_t>(bytes.QuadPart)
                                                                          : 0;
    }
    win::PARTITION_INFORMATION info{};
    if (win::DeviceIoControl(handle_, win::IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &info, sizeof info, &returned,
                             nullptr))
        return info.PartitionLength.QuadPart > 0 ? static_cast<std::uint64_t>(info.PartitionLength.QuadPart) : 0;
    win::DISK_GEOMETRY geometry{};
    if (!win::DeviceIoControl(handle_, win::IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                              &returned, nullptr) ||
        geometry.Cylinders.QuadPart <= 0)
        return 0;
    return static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
           geometry.SectorsPerTrack * geometry.BytesPerSector;
}

bool VolumeHandle::readAt(std::uint64_t offset, void* data, win::DWORD size) const
{
    win::LARGE_INTEGER at{};
    at.QuadPart = static_cast<std::int64_t>(offset);
    win::DWORD read = 0;
    return win::SetFilePointerEx(handle_, at, nullptr, win::FILE_BEGIN) &&
           win::ReadFile(handle_, data, size, &read, nullptr) && read == size;
}

int VolumeHandle::writeAt(std::uint64_t offset, const void* data, win::DWORD size) const
{
    win::LARGE_INTEGER at{};
    at.QuadPart = static_cast<std::int64_t>(offset);
    if (!win::SetFilePointerEx(handle_, at, nullptr, win::FILE_BEGIN))
        return kVolumeWrongPassword;
    win::DWORD written = 0;
    if (!win::WriteFile(handle_, data, size, &written, nullptr) || written != size)
        return kVolumeShortWrite;
    // Each pass must reach the medium before the next overwrites it.
    win::FlushFileBuffers(handle_);
    return kVolumeOk;
}

}  // namespace kx
