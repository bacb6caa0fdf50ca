#include "crypt/crypt_driver.h"

#include <atomic>
#include <cstring>

#include "crypt/crypt_mount.h"
#include "crypto/secure_bytes.h"
#include "platform/win_api.h"
#include "platform/win_svc.h"
#include "platform/win_truecrypt.h"
#include "system/handles.h"
#include "text/codepage.h"
#include "text/text_util.h"

namespace win::detail {

namespace {

namespace cd = crypt_driver;

constexpr DWORD kErrorGenFailure = 31;

std::atomic<int>& openDriverHandles()
{
    static std::atomic<int> count{0};
    return count;
}

// The machine is per process, so the driver's reference count is this
// process's open handles on it.
struct CryptDriverObject : HandleObject {
    CryptDriverObject() { ++openDriverHandles(); }
    ~CryptDriverObject() override { --openDriverHandles(); }
    CryptDriverObject(const CryptDriverObject&) = delete;
    CryptDriverObject& operator=(const CryptDriverObject&) = delete;
};

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

template <typename T>
BOOL answer(const T& record, LPVOID out, DWORD outSize, DWORD* returned)
{
    if (!out || outSize < sizeof(T))
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, &record, sizeof(T));
    *returned = sizeof(T);
    return TRUE;
}

void putPath(const std::string& utf8, char16_t (&out)[cd::maxPath])
{
    const std::u16string wide = utf8ToWide(utf8);
    const std::size_t n = std::min(wide.size(), cd::maxPath - 1);
    std::memcpy(out, wide.data(), n * sizeof(char16_t));
}

BOOL listVolumes(const machine::State& state, LPVOID out, DWORD outSize, DWORD* returned)
{
    auto list = std::make_unique<cd::MountList>();
    std::memset(list.get(), 0, sizeof *list);
    for (const auto& v : state.cryptVolumes) {
        const int n = v.letter - 'A';
        list->mountedDrives |= 1u << n;
        putPath(v.volumePath, list->volumes[n]);
        list->diskLength[n] = v.dataLength;
        list->algorithm[n] = v.algorithm;
    }
    return answer(*list, out, outSize, returned);
}

BOOL listPaths(const machine::State& state, LPVOID out, DWORD outSize, DWORD* returned)
{
    auto paths = std::make_unique<cd::VolumePaths>();
    std::memset(paths.get(), 0, sizeof *paths);
    for (const auto& v : state.cryptVolumes)
        putPath(v.volumePath, paths->paths[v.letter - 'A']);
    return answer(*paths, out, outSize, returned);
}

BOOL mount(machine::Machine& m, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, DWORD* returned)
{
    if (!in || inSize < sizeof(cd::MountRequest))
        return fail(ERROR_INVALID_PARAMETER);
    if (!out || outSize < sizeof(cd::MountRequest))
        return fail(ERROR_INSUFFICIENT_BUFFER);
    cd::MountRequest request;
    std::memcpy(&request, in, sizeof request);
    if (request.driveNumber < 0 || request.driveNumber >= cd::driveCount) {
        kx::crypto::secureWipe(&request, sizeof request);
        return fail(ERROR_INVALID_PARAMETER);
    }
    request.result = mountCryptVolume(m, request);
    // Nothing of the passwords goes back out.
    kx::crypto::secureWipe(&request.password, sizeof request.password);
    kx::crypto::secureWipe(&request.hiddenVolumePassword, sizeof request.hiddenVolumePassword);
    std::memcpy(out, &request, sizeof request);
    kx::crypto::secureWipe(&request, sizeof request);
    *returned = sizeof request;
    return TRUE;
}

BOOL dismount(machine::Machine& m, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, DWORD* returned)
{
    if (!in || inSize < sizeof(cd::DismountRequest))
        return fail(ERROR_INVALID_PARAMETER);
    cd::DismountRequest request;
    std::memcpy(&request, in, sizeof request);
    if (!out || outSize < sizeof request)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    request.result = request.driveNumber >= 0 && request.driveNumber < cd::driveCount
                         ? dismountCryptVolume(m, request.driveNumber, request.forced != 0)
                         : cd::RESULT_DRIVE_NOT_FOUND;
    return answer(request, out, outSize, returned);
}

std::string imageName(const std::string& imagePath)
{
    const auto cut = imagePath.find_last_of("\\/");
    return cut == std::string::npos ? imagePath : imagePath.substr(cut + 1);
}

}  // namespace

bool isCryptDriverService(const machine::Service& service)
{
    const std::string image = imageName(service.imagePath);
    return service.type == SERVICE_KERNEL_DRIVER &&
           (machine::equalsNoCase(image, "kxcrypt.sys") || machine::equalsNoCase(image, "kxcrypt-x64.sys"));
}

bool cryptDriverRunning(const machine::State& state)
{
    if (state.settings.cryptDriverVersion != 0)
        return true;
    for (const auto& s : state.services)
        if (s.running && isCryptDriverService(s))
            return true;
    return false;
}

std::uint32_t cryptDriverVersion(const machine::State& state)
{
    return state.settings.cryptDriverVersion != 0 ? state.settings.cryptDriverVersion : cd::interfaceVersion;
}

HANDLE openCryptDriver()
{
    try {
        if (!cryptDriverRunning(*machine::current()->readWithoutNames())) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    } catch (const std::exception&) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return registerHandle(std::make_shared<CryptDriverObject>());
}

std::optional<BOOL> cryptDriverControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                       DWORD* returned)
{
    if (!lookupAs<CryptDriverObject>(handle))
        return std::nullopt;
    *returned = 0;
    try {
        auto m = machine::current();
        const auto state = m->readWithoutNames();
        if (!cryptDriverRunning(*state))
            return fail(ERROR_DEVICE_NOT_CONNECTED);  // stopped under the handle
        const std::uint32_t mounted = state->cryptVolumes.empty() ? 0 : 1;
        switch (code) {
        case cd::IOCTL_GET_DRIVER_VERSION:
            return answer(cryptDriverVersion(*state), out, outSize, returned);
        case cd::IOCTL_GET_PASSWORD_CACHE:
            return fail(kErrorGenFailure);  // this driver never caches passwords
        case cd::IOCTL_GET_DEVICE_REFCOUNT:
            return answer(static_cast<std::int32_t>(openDriverHandles().load()), out, outSize, returned);
        case cd::IOCTL_IS_ANY_VOLUME_MOUNTED:
            return answer(mounted, out, outSize, returned);
        case cd::IOCTL_GET_MOUNTED_VOLUMES:
            return listVolumes(*state, out, outSize, returned);
        case cd::IOCTL_GET_VOLUME_PATHS:
            return listPaths(*state, out, outSize, returned);
        case cd::IOCTL_MOUNT_VOLUME:
            return mount(*m, in, inSize, out, outSize, returned);
        case cd::IOCTL_DISMOUNT_VOLUME:
            return dismount(*m, in, inSize, out, outSize, returned);
        default:
            return fail(ERROR_INVALID_FUNCTION);
        }
    } catch (const std::exception&) {
        return fail(ERROR_NOT_READY);  // an unreadable machine
    }
}

}  // namespace win::detail
