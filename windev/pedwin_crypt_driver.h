// The disk-encryption driver kxcrypt: its file and service, the one
// process-wide handle to its device, and the mount and dismount requests
// sent through it. Callers hold the library lock.
#pragma once

#include <string>

#include "windev/pedwin_crypt_volume.h"
#include "common/kx_message.h"
#include "platform/win_api.h"
#include "platform/win_truecrypt.h"

namespace kx {

struct PedDevice;

inline constexpr const char* kCryptName = "kxcrypt";

// Results of attaching to the driver.
enum : int {
    kCryptAttached = 0,
    kCryptFailed = 1,
    kCryptForeign = 16,  // a driver of another version that an installed TrueCrypt owns
};

// Results of a mount.
enum : int {
    kMountExclusive = 1,
    kMountShared = 2,
    kMountLetterTaken = 0,   // also: no password and none cached
    kMountRefused = -1,      // wrong password, or the path is mounted already
    kMountFailed = 255,
};

// The handle; requests fail while it is not open.
bool cryptAttached();
bool openCryptDevice();
void closeCryptDevice();
[[nodiscard]] bool cryptRequest(win::DWORD code, void* in, win::DWORD inSize, void* out, win::DWORD outSize);

// "kxcrypt.sys", or "kxcrypt-x64.sys" on 64-bit Windows.
std::string cryptFileName();
// Copies the driver file from folder under the Windows directory. False,
// with the setup message under at's name, when neither file is there.
bool setUpCryptFile(const Where& at, const char* folder);
// Attaches, loading the driver when its device is missing and replacing a
// driver of another version unless TrueCrypt owns it.
int attachCryptDriver();
// Creates, starts and at once deletes the service: it runs until stopped
// or the next reboot. True when it started.
bool loadCryptService();
// Stops the driver when no volume is mounted and no other handle is open;
// closes our handle on the way.
bool unloadCryptDriver();
bool trueCryptInstalled();
// kx_unload_crypto_driver and shut-down: detach, and stop the driver when
// it may be stopped.
void releaseCryptDriver();

// Mounts the volume at path on drive (0 = A:). The request is wiped after
// use; the password record is the caller's to wipe.
int mountVolume(const char* path, const PasswordRecord& password, int drive, bool exclusive);
// The drive the driver mounted the volume at path on, -1 when none (or no
// driver is attached).
int driveMountedFrom(const char* path);
// Gives a partition's record the letter the driver mounted it on, when it
// has none: a volume another process loaded.
void learnDriverMount(PedDevice* dev);
// Dismounts drive, forced, or first not forced and then forced. Up to ten
// requests 50 ms apart while the volume is busy.
[[nodiscard]] bool dismountDrive(int drive, bool forced);

// What the shell and the top-level windows are told of a drive change.
enum class DriveChange { Arrival, RemovePending, RemoveComplete };
void announceDriveChange(int drive, DriveChange change);

// The user's rights as the format and the TrueCrypt test ask them.
bool userIsAdmin();
bool uacEnabled();

}  // namespace kx
