// Private volumes on their partitions: the raw volume handle used for
// header work and creation, and the results these operations give.
#pragma once

#include <cstdint>
#include <span>

#include "crypto/volume_keys.h"
#include "platform/win_truecrypt.h"
#include "platform/win_types.h"

namespace kx {

// Results of header work and volume creation (0 is success).
enum VolumeResult : int {
    kVolumeOk = 0,
    kVolumeOsError = 1,        // the volume did not open, or a cipher or random source failed
    kVolumeBadSize = 7,        // the file system does not fit the volume, or a bad cluster size
    kVolumeNoSize = 8,         // no size, or the header could not be read
    kVolumeWrongPassword = 12, // also a failed seek
    kVolumeShortWrite = 13,
    kVolumeNewerProgram = 16,  // the header asks for a newer program
    kVolumeWeakKey = 19,       // opens, with a weak key: counts as success
    kVolumeBadPassword = 22,   // empty, or longer than 64 bytes
    kVolumeNoLetter = 34,
    kVolumeNoDriver = 35,      // an NTFS volume is formatted through the driver, which is not attached
    kVolumeHeld = 36,          // the device could not be opened for us alone, or the mount failed
    kVolumeNotFormatted = 100,
};

using PasswordRecord = win::crypt_driver::PasswordRecord;

// Fills the driver's password record from a text; false when the text is
// longer than the record holds (it is never cut short).
[[nodiscard]] bool makePasswordRecord(const char* text, PasswordRecord& record);
crypto::PasswordView passwordOf(const PasswordRecord& record);
void wipePasswordRecord(PasswordRecord& record);

// A volume opened for reading and writing: a kernel path ("\Device\...")
// through the process's temporary DOS name when viaDosName, anything else
// by its name.
class VolumeHandle {
public:
    VolumeHandle(const char* path, win::DWORD share, bool viaDosName);
    ~VolumeHandle();
    VolumeHandle(const VolumeHandle&) = delete;
    VolumeHandle& operator=(const VolumeHandle&) = delete;

    bool opened() const { return handle_ != win::INVALID_HANDLE_VALUE; }
    bool device() const { return device_; }
    win::DWORD openError() const { return openError_; }

    // Bytes: the partition's length, else the drive geometry's; a file's
    // size. 0 when unknown.
    std::uint64_t size() const;
    // Exactly size bytes at offset.
    [[nodiscard]] bool readAt(std::uint64_t offset, void* data, win::DWORD size) const;
    // kVolumeOk, kVolumeWrongPassword (seek failed) or kVolumeShortWrite;
    // each write is flushed.
    [[nodiscard]] int writeAt(std::uint64_t offset, const void* data, win::DWORD size) const;

private:
    const char* path_;
    bool device_ = false;
    bool named_ = false;
    win::DWORD openError_ = 0;
    win::HANDLE handle_ = win::INVALID_HANDLE_VALUE;
};

// Is the path a kernel device path ("\DEVICE..." in any case)?
bool isKernelPath(const char* path);

// Re-encrypts the header at the start of the volume under newPassword: 36
// passes, each written and flushed, the last the real one. Nothing is
// written when oldPassword does not open the header. A VolumeResult.
int changeVolumePassword(const char* path, const PasswordRecord& oldPassword,
                         const PasswordRecord& newPassword);

}  // namespace kx
