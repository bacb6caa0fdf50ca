// The disk-encryption driver's interface (driver version 1082): the device
// name, its control codes and the records they carry. Shared by the
// emulated driver and the library that talks to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace win::crypt_driver {

inline constexpr const char* deviceName = "\\\\.\\TrueCrypt";
inline constexpr std::uint32_t interfaceVersion = 1082;  // 0x043A

enum : DWORD {
    IOCTL_MOUNT_VOLUME = 0x72000,          // MountRequest in and out
    IOCTL_GET_MOUNTED_VOLUMES = 0x72004,   // MountList out
    IOCTL_DISMOUNT_VOLUME = 0x7200C,       // DismountRequest in and out
    IOCTL_GET_DRIVER_VERSION = 0x72018,    // 4 bytes out
    IOCTL_GET_PASSWORD_CACHE = 0x7202C,    // succeeds only when passwords are cached
    IOCTL_GET_DEVICE_REFCOUNT = 0x72038,   // 4 bytes in and out: open handles on the device
    IOCTL_IS_ANY_VOLUME_MOUNTED = 0x72044, // 4 bytes out: 0 when the driver may be unloaded
    IOCTL_GET_VOLUME_PATHS = 0x72048,      // VolumePaths out
};

// Result codes in the records' result words.
enum : std::int32_t {
    RESULT_SUCCESS = 0,
    RESULT_OS_ERROR = 1,
    RESULT_OUT_OF_MEMORY = 2,
    RESULT_PASSWORD_WRONG = 3,
    RESULT_VOLUME_FORMAT_BAD = 4,
    RESULT_DRIVE_NOT_FOUND = 5,     // dismount: no volume on that letter
    RESULT_DRIVE_TAKEN = 6,         // mount: the letter is in use
    RESULT_FILES_OPEN = 7,          // dismount: the volume is busy
    RESULT_ACCESS_DENIED = 8,
    RESULT_NEW_VERSION_REQUIRED = 9,
    RESULT_ALREADY_MOUNTED = 10,
    RESULT_WEAK_KEY = 11,           // mount: the header opens, but a DES key is weak
};

inline constexpr std::size_t maxPassword = 64;
inline constexpr std::size_t maxPath = 260;
inline constexpr int driveCount = 26;  // 0 = A: .. 25 = Z:

#pragma pack(push, 4)

struct PasswordRecord {
    std::uint32_t length;
    std::uint8_t text[maxPassword + 1];
};
static_assert(sizeof(PasswordRecord) == 72);

struct MountRequest {
    std::int32_t result;
    char16_t volume[maxPath];  // "\Device\HarddiskN\PartitionM" or "\??\" + a path
    PasswordRecord password;
    std::int32_t cachePassword;
    std::int32_t driveNumber;
    std::int32_t readOnly;
    std::int32_t removable;
    std::int32_t exclusiveAccess;
    std::int32_t mountManager;
    std::int32_t preserveTimestamps;
    std::int32_t userContext;
    std::int32_t protectHiddenVolume;
    PasswordRecord hiddenVolumePassword;
    std::int32_t reserved[3];
};
static_assert(sizeof(MountRequest) == 716);
static_assert(offsetof(MountRequest, password) == 524);
static_assert(offsetof(MountRequest, driveNumber) == 600);

struct DismountRequest {
    std::int32_t driveNumber;
    std::int32_t forced;
    std::int32_t result;
};
static_assert(sizeof(DismountRequest) == 12);

struct MountList {
    std::uint32_t mountedDrives;  // bit n: drive n holds a volume
    char16_t volumes[driveCount][maxPath];
    std::uint64_t diskLength[driveCount];
    std::int32_t algorithm[driveCount];
    std::int32_t volumeType[driveCount];
};
static_assert(sizeof(MountList) == 13940);

// The answer to IOCTL_GET_VOLUME_PATHS: the paths alone, from the start.
struct VolumePaths {
    char16_t paths[driveCount][maxPath];
    std::uint8_t unused[sizeof(MountList) - driveCount * maxPath * sizeof(char16_t)];
};
static_assert(sizeof(VolumePaths) == 13940);

#pragma pack(pop)

}  // namespace win::crypt_driver
