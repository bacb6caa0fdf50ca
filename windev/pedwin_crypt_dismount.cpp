// Dismounting a drive letter through the driver, waiting out a busy volume.
#include "windev/pedwin_crypt_driver.h"

namespace kx {

namespace {

constexpr int kBusyAnswers = 10;
constexpr win::DWORD kBusyPauseMs = 50;

}  // namespace

bool dismountDrive(int drive, bool forced)
{
    namespace cd = win::crypt_driver;
    announceDriveChange(drive, DriveChange::RemovePending);
    int busy = 0;
    for (;;) {
        cd::DismountRequest request{drive, forced ? 1 : 0, 0};
        const bool sent = cryptRequest(cd::IOCTL_DISMOUNT_VOLUME, &request, sizeof request, &request, sizeof request);
        if (sent && request.result == cd::RESULT_SUCCESS) {
            announceDriveChange(drive, DriveChange::RemoveComplete);
            return true;
        }
        if (sent && request.result == cd::RESULT_FILES_OPEN && ++busy < kBusyAnswers) {
            win::Sleep(kBusyPauseMs);
            continue;
        }
        // What a polite request could not do, a forced one may.
        if (forced)
            return false;
        forced = true;
    }
}

}  // namespace kx
