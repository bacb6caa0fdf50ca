// Telling the shell and the top-level windows that a drive came or goes.
#include "windev/pedwin_crypt_driver.h"
#include "common/kx_os.h"
#include "platform/win_api.h"

namespace kx {

void announceDriveChange(int drive, DriveChange change)
{
    if (drive < 0 || drive >= 26)
        return;
    const bool arrival = change == DriveChange::Arrival;
    const char root[] = {static_cast<char>('A' + drive), ':', '\\', '\0'};
    win::SHChangeNotify(arrival ? win::SHCNE_DRIVEADD : win::SHCNE_DRIVEREMOVED, win::SHCNF_PATHA, root, nullptr);
    win::DEV_BROADCAST_VOLUME record{};
    record.dbcv_size = sizeof record;
    record.dbcv_devicetype = win::DBT_DEVTYP_VOLUME;
    record.dbcv_unitmask = 1u << drive;
    const win::WPARAM event = arrival ? win::DBT_DEVICEARRIVAL
                              : change == DriveChange::RemovePending ? win::DBT_DEVICEREMOVEPENDING
                                                                     : win::DBT_DEVICEREMOVECOMPLETE;
    const bool newWindows = osMajorVersion() > 5;
    const auto broadcast = [&](win::UINT timeoutMs) {
        win::DWORD_PTR answer = 0;
        win::SendMessageTimeoutA(win::HWND_BROADCAST, win::WM_DEVICECHANGE, event,
                                 reinterpret_cast<win::LPARAM>(&record), win::SMTO_ABORTIFHUNG, timeoutMs, &answer);
    };
    broadcast(newWindows ? 100 : 1000);
    // Older Explorers could miss the first arrival.
    if (arrival && !newWindows)
        broadcast(200);
}

}  // namespace kx
