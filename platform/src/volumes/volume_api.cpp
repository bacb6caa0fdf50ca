// Volume questions by drive letter, and the volume controls.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "crypt/encrypted_view.h"
#include "crypt/encrypted_view_device.h"
#include "devices/device_resolve.h"
#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"
#include "text/codepage.h"
#include "volumes/volume_probe.h"

namespace win {

namespace detail {

namespace {

struct VolumeAnswer {
    VolumeFacts facts;
    bool onHostFolder = false;
};

// The volume behind "X:\" (or "X:"), read now.
std::optional<VolumeAnswer> volumeOfRoot(std::string_view root, bool countFree)
{
    if (root.size() < 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0]))) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    auto m = machine::current();
    if (letter == 'C') {
        struct statvfs vfs {};
        if (::statvfs(m->driveC().c_str(), &vfs) != 0) {
            SetLastError(ERROR_NOT_READY);
            return std::nullopt;
        }
        VolumeAnswer a;
        a.onHostFolder = true;
        a.facts.fileSystem = "NTFS";
        a.facts.serial = 0x5EED0C0D;
        a.facts.totalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
        a.facts.freeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
        return a;
    }
    auto state = m->readWithoutNames();
    auto target = resolveDeviceName(*state, *m->readDosNames(), std::string(1, letter) + ":");
    if (!target) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    const auto& disk = state->disks[static_cast<size_t>(target->slot)];
    const int fd = machine::openBacking(*m, disk, O_RDONLY);
    std::optional<VolumeFacts> facts;
    if (fd >= 0 && target->cryptLetter) {
        // An encrypted volume's file system is read through its view.
        const machine::CryptVolume* volume = machine::cryptVolumeOn(*state, target->cryptLetter);
        if (auto view = volume ? EncryptedView::create(*m, *volume) : nullptr)
            facts = probeVolume(view->reader(fd), countFree);
    } else if (fd >= 0) {
        facts = probeVolume(fd, target->offset, target->length, countFree);
    }
    if (fd >= 0)
        ::close(fd);
    if (!facts) {
        SetLastError(ERROR_UNRECOGNIZED_VOLUME);  // a RAW volume
        return std::nullopt;
    }
    return VolumeAnswer{*facts, false};
}

void copyWide(const std::string& utf8, LPWSTR out, DWORD size)
{
    if (!out || size == 0)
        return;
    const std::u16string w = utf8ToWide(utf8);
    const size_t n = std::min<size_t>(w.size(), size - 1);
    std::memcpy(out, w.data(), n * sizeof(WCHAR));
    out[n] = 0;
}

}  // namespace

BOOL isVolumeMounted(IoctlCall& call)
{
    if (auto* encrypted = dynamic_cast<EncryptedVolumeObject*>(&call.device))
        return probeVolume(encrypted->view->reader(call.device.fd), false) ? TRUE
                                                                            : failIoctl(ERROR_UNRECOGNIZED_VOLUME);
    if (call.device.target.partition == 0)
        return failIoctl(ERROR_INVALID_FUNCTION);
    if (!probeVolume(call.device.fd, call.device.target.offset, call.device.target.length, false))
        return failIoctl(ERROR_UNRECOGNIZED_VOLUME);
    return TRUE;
}

BOOL volumeLockOrDismount(IoctlCall& call, DWORD code)
{
    // Nothing caches file-system state here, so there is nothing to flush.
    if (call.device.target.partition == 0)
        return lockWholeDisk(call, code);
    return TRUE;
}

}  // namespace detail

BOOL GetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total, PULARGE_INTEGER totalFree)
{
    auto volume = detail::volumeOfRoot(root ? root : "C:\\", true);
    if (!volume)
        return FALSE;
    if (!volume->facts.freeBytes) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (freeToCaller)
        freeToCaller->QuadPart = *volume->facts.freeBytes;
    if (total)
        total->QuadPart = volume->facts.totalBytes;
    if (totalFree)
        totalFree->QuadPart = *volume->facts.freeBytes;
    return TRUE;
}

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR name, DWORD nameSize, LPDWORD serial, LPDWORD maxComponent,
                           LPDWORD fsFlags, LPWSTR fsName, DWORD fsNameSize)
{
    const std::string rootText = root ? detail::wideToUtf8(detail::wideOf(root)) : std::string("C:\\");
    auto volume = detail::volumeOfRoot(rootText, false);
    if (!volume)
        return FALSE;
    detail::copyWide(volume->facts.label, name, nameSize);
    detail::copyWide(volume->facts.fileSystem, fsName, fsNameSize);
    if (serial)
        *serial = volume->facts.serial;
    if (maxComponent)
        *maxComponent = 255;
    if (fsFlags)
        *fsFlags = volume->facts.fileSystem == "NTFS" ? 0x000700FF : 0x00000006;
    return TRUE;
}

}  // namespace win
