#include "crypt/crypt_mount.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "crypt/crypt_keys.h"
#include "crypt/encrypted_view.h"
#include "crypt/encrypted_view_device.h"
#include "crypto/volume_keys.h"
#include "devices/device_resolve.h"
#include "text/codepage.h"
#include "text/text_util.h"

namespace win::detail {

namespace {

namespace cd = crypt_driver;
namespace kc = kx::crypto;

constexpr std::uint64_t kUnit = kc::dataUnitSize;

// "\Device\..." as it is, "\??\NAME" through the DOS names. Volumes of the
// driver itself are not volumes it can mount.
std::optional<DeviceTarget> volumeTarget(const machine::State& state, const std::string& path)
{
    std::optional<DeviceTarget> t;
    if (machine::startsWithNoCase(path, "\\??\\"))
        t = resolveDeviceName(state, state.dosDevices, path.substr(4));
    else if (machine::startsWithNoCase(path, "\\Device\\"))
        t = resolveKernelPath(state, path);
    if (t && t->cryptLetter)
        return std::nullopt;
    return t;
}

bool sameDevice(const machine::CryptVolume& v, const DeviceTarget& t)
{
    return v.slot == t.slot && v.diskArrival == t.arrival && v.partitionOffset == t.offset;
}

bool mountedAlready(const machine::State& state, const DeviceTarget& t)
{
    return std::any_of(state.cryptVolumes.begin(), state.cryptVolumes.end(),
                       [&](const machine::CryptVolume& v) { return sameDevice(v, t); });
}

std::string requestPath(const cd::MountRequest& r)
{
    const auto* end = std::find(std::begin(r.volume), std::end(r.volume), u'\0');
    return wideToUtf8(std::u16string(std::begin(r.volume), end));
}

bool readHeader(const machine::Machine& m, const machine::State& state, const DeviceTarget& t,
                kc::HeaderBytes& header)
{
    const int fd = machine::openBacking(m, state.disks[static_cast<size_t>(t.slot)], O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::pread(fd, header.data(), header.size(), static_cast<off_t>(t.offset)) ==
                    static_cast<ssize_t>(header.size());
    ::close(fd);
    return ok;
}

std::int32_t resultOf(kc::HeaderError error)
{
    switch (error) {
    case kc::HeaderError::None:
        return cd::RESULT_SUCCESS;
    case kc::HeaderError::WrongPassword:
    case kc::HeaderError::BadPassword:
        return cd::RESULT_PASSWORD_WRONG;
    case kc::HeaderError::NewerProgramRequired:
        return cd::RESULT_NEW_VERSION_REQUIRED;
    case kc::HeaderError::Unsupported:
    case kc::HeaderError::BadVolumeSize:
        return cd::RESULT_VOLUME_FORMAT_BAD;
    default:
        return cd::RESULT_OS_ERROR;
    }
}

// The data area follows the header to the partition's end, or to the size
// a header gives, never past the partition.
std::uint64_t dataLengthOf(const kc::HeaderFields& fields, std::uint64_t partitionLength)
{
    const std::uint64_t whole = partitionLength / kUnit * kUnit;
    std::uint64_t size = whole > kc::headerSize ? whole - kc::headerSize : 0;
    if (fields.dataAreaSize != 0 && fields.dataAreaSize < size)
        size = fields.dataAreaSize / kUnit * kUnit;
    return size;
}

std::int32_t openVolume(const cd::MountRequest& r, const kc::HeaderBytes& header, const DeviceTarget& t,
                        machine::CryptVolume& v, kc::SecureBytes& keys)
{
    if (r.password.length > cd::maxPassword)
        return cd::RESULT_PASSWORD_WRONG;
    kc::OpenResult opened = kc::openHeader({r.password.text, r.password.length}, header);
    if (opened.error != kc::HeaderError::None)
        return resultOf(opened.error);
    const kc::OpenedVolume& volume = *opened.volume;
    if (volume.weakKey)
        return cd::RESULT_WEAK_KEY;
    v.dataOffset = kc::headerSize;
    v.dataLength = dataLengthOf(volume.fields, t.length);
    if (v.dataLength == 0)
        return cd::RESULT_VOLUME_FORMAT_BAD;
    v.algorithm = volume.algorithm->id;
    v.mode = static_cast<int>(volume.mode);
    keys = kc::SecureBytes(volume.keyArea.span());
    return cd::RESULT_SUCCESS;
}

}  // namespace

std::int32_t mountCryptVolume(machine::Machine& m, const cd::MountRequest& r)
{
    const char letter = static_cast<char>('A' + r.driveNumber);
    const DWORD bit = 1u << r.driveNumber;
    auto state = m.read();
    if (logicalDriveMask(*state, state->dosDevices) & bit)
        return cd::RESULT_DRIVE_TAKEN;
    const std::string path = requestPath(r);
    const auto target = volumeTarget(*state, path);
    if (!target)
        return cd::RESULT_OS_ERROR;
    if (mountedAlready(*state, *target))
        return cd::RESULT_ALREADY_MOUNTED;
    kc::HeaderBytes header{};
    if (!readHeader(m, *state, *target, header))
        return cd::RESULT_OS_ERROR;

    machine::CryptVolume v;
    v.letter = letter;
    v.volumePath = path;
    v.slot = target->slot;
    v.partition = target->partition;
    v.diskArrival = target->arrival;
    v.partitionOffset = target->offset;
    v.readOnly = r.readOnly != 0;
    v.removable = r.removable != 0;
    kc::SecureBytes keys;
    std::int32_t result = openVolume(r, header, *target, v, keys);
    kc::secureWipe(header);
    if (result != cd::RESULT_SUCCESS)
        return result;
    // Another process may have taken the letter or the volume meanwhile.
    try {
        m.update([&](machine::State& s) {
            const auto now = volumeTarget(s, path);
            if (logicalDriveMask(s, s.dosDevices) & bit)
                result = cd::RESULT_DRIVE_TAKEN;
            else if (!now || now->arrival != target->arrival || now->offset != target->offset)
                result = cd::RESULT_OS_ERROR;
            else if (mountedAlready(s, *now))
                result = cd::RESULT_ALREADY_MOUNTED;
            if (result != cd::RESULT_SUCCESS)
                return;
            removeStrayVolumeKeys(m, s);
            v.mountStamp = ++s.arrivalCounter;
            // In place before the record: another process may open the view at once.
            storeVolumeKeys(m, v.mountStamp, keys.span());
            s.cryptVolumes.push_back(v);
            ++s.deviceChanges;
        });
    } catch (const machine::MachineError&) {
        // Keys written for a record that never reached the state go too.
        if (v.mountStamp)
            removeVolumeKeys(m, v.mountStamp);
        return cd::RESULT_OS_ERROR;
    }
    return result;
}

std::int32_t dismountCryptVolume(machine::Machine& m, int driveNumber, bool forced)
{
    const char letter = static_cast<char>('A' + driveNumber);
    std::int32_t result = cd::RESULT_DRIVE_NOT_FOUND;
    std::uint64_t gone = 0;
    m.update([&](machine::State& s) {
        auto it = std::find_if(s.cryptVolumes.begin(), s.cryptVolumes.end(),
                               [&](const machine::CryptVolume& v) { return v.letter == letter; });
        if (it == s.cryptVolumes.end())
            return;
        result = cd::RESULT_FILES_OPEN;
        if (s.settings.cryptBusyLetter == letter && s.settings.cryptBusyCount > 0) {
            --s.settings.cryptBusyCount;
            return;
        }
        if (!forced && cryptVolumeInUse(m, letter, it->mountStamp))
            return;
        gone = it->mountStamp;
        // The keys go before the state forgets the mount: a process killed
        // in between leaves a mount without keys, never keys without a mount.
        removeVolumeKeys(m, gone);
        s.cryptVolumes.erase(it);
        removeStrayVolumeKeys(m, s);
        ++s.deviceChanges;
        result = cd::RESULT_SUCCESS;
    });
    if (result == cd::RESULT_SUCCESS)
        removeCryptVolumeLockFile(m, letter, gone);
    return result;
}

}  // namespace win::detail
