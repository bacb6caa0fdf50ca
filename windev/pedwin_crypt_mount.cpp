// Mounting a volume on a drive letter through the driver.
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "windev/pedwin_crypt_driver.h"
#include "common/kx_text.h"
#include "device/peddevice.h"

namespace kx {

namespace {

namespace cd = win::crypt_driver;

// The path as the driver takes it, and whether it must be opened in the
// user's context (network paths).
struct DriverPath {
    std::string text;
    bool userContext = false;
};

DriverPath driverPath(const char* path)
{
    const std::string given = path;
    if (given.rfind("\\Device\\", 0) == 0)
        return {given, false};
    if (given.rfind("\\\\", 0) == 0)
        return {"\\??\\UNC" + given.substr(1), true};
    return {"\\??\\" + given, false};
}

bool toWide(const std::string& text, char16_t (&out)[cd::maxPath])
{
    std::memset(out, 0, sizeof out);
    const int size = win::MultiByteToWideChar(win::CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    return size > 0 && size <= static_cast<int>(cd::maxPath) &&
           win::MultiByteToWideChar(win::CP_ACP, 0, text.c_str(), -1, out, size) == size;
}

bool sameWide(const char16_t* a, const char16_t* b, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t x = a[i] < 0x80 ? static_cast<char16_t>(std::tolower(a[i])) : a[i];
        const char16_t y = b[i] < 0x80 ? static_cast<char16_t>(std::tolower(b[i])) : b[i];
        if (x != y)
            return false;
        if (!x)
            return true;
    }
    return true;
}

bool alreadyMounted(const char16_t (&volume)[cd::maxPath])
{
    auto paths = std::make_unique<cd::VolumePaths>();
    std::memset(paths.get(), 0, sizeof *paths);
    if (!cryptRequest(cd::IOCTL_GET_VOLUME_PATHS, paths.get(), sizeof *paths, paths.get(), sizeof *paths))
        return false;
    for (const auto& mounted : paths->paths)
        if (mounted[0] && sameWide(mounted, volume, cd::maxPath))
            return true;
    return false;
}

// Holds the request, password included, and wipes it however the mount ends.
struct WipedRequest {
    cd::MountRequest request{};
    ~WipedRequest() { crypto::secureWipe(&request, sizeof request); }
};

}  // namespace

int driveMountedFrom(const char* path)
{
    char16_t volume[cd::maxPath];
    auto list = std::make_unique<cd::MountList>();
    std::memset(list.get(), 0, sizeof *list);
    if (!path || !toWide(driverPath(path).text, volume) ||
        !cryptRequest(cd::IOCTL_GET_MOUNTED_VOLUMES, list.get(), sizeof *list, list.get(), sizeof *list))
        return -1;
    for (int drive = 0; drive < cd::driveCount; ++drive)
        if ((list->mountedDrives & (1u << drive)) && sameWide(list->volumes[drive], volume, cd::maxPath))
            return drive;
    return -1;
}

void learnDriverMount(PedDevice* dev)
{
    if (!dev || dev->mount_point)
        return;
    const int drive = driveMountedFrom(dev->path);
    if (drive < 0)
        return;
    const char point[3] = {static_cast<char>('A' + drive), ':', '\0'};
    setText(dev->mount_point, point);
}

int mountVolume(const char* path, const PasswordRecord& password, int drive, bool exclusive)
{
    if (!path || drive < 0 || drive >= cd::driveCount || (win::GetLogicalDrives() & (1u << drive)))
        return kMountLetterTaken;
    if (password.length == 0 && !cryptRequest(cd::IOCTL_GET_PASSWORD_CACHE, nullptr, 0, nullptr, 0))
        return kMountLetterTaken;
    const DriverPath target = driverPath(path);
    auto held = std::make_unique<WipedRequest>();
    cd::MountRequest& request = held->request;
    if (!toWide(target.text, request.volume))
        return kMountFailed;
    if (alreadyMounted(request.volume))
        return kMountRefused;

    request.password = password;
    request.cachePassword = 0;
    request.driveNumber = drive;
    request.mountManager = 1;
    request.preserveTimestamps = 1;
    request.userContext = target.userContext ? 1 : 0;
    request.exclusiveAccess = exclusive ? 1 : 0;
    bool retriedContext = target.userContext;
    for (;;) {
        request.result = 0;
        const bool sent = cryptRequest(cd::IOCTL_MOUNT_VOLUME, &request, sizeof request, &request, sizeof request);
        const win::DWORD error = sent ? 0 : win::GetLastError();
        if (sent && request.result == cd::RESULT_SUCCESS) {
            announceDriveChange(drive, DriveChange::Arrival);
            return request.exclusiveAccess ? kMountExclusive : kMountShared;
        }
        if (sent && request.result == cd::RESULT_PASSWORD_WRONG)
            return kMountRefused;
        const bool sharing = error == win::ERROR_SHARING_VIOLATION || (sent && request.result == cd::RESULT_FILES_OPEN);
        if (sharing && request.exclusiveAccess) {
            request.exclusiveAccess = 0;
            continue;
        }
        if (retriedContext)
            return kMountFailed;
        retriedContext = true;
        request.userContext = 1;
    }
}

}  // namespace kx
