// Drive changes told to the shell and broadcast to the top-level windows.
// The machine keeps the latest for whoever looks (tests, orvane-machine
// list). No window of this machine hangs, so a broadcast never waits out
// its time-out.
#include <utility>

#include "platform/machine.h"
#include "platform/win_api.h"

namespace win {

namespace {

constexpr std::size_t kAnnouncementsKept = 32;

void keep(machine::Announcement announcement)
{
    machine::current()->update([&](machine::State& state) {
        state.announcements.push_back(std::move(announcement));
        if (state.announcements.size() > kAnnouncementsKept)
            state.announcements.erase(state.announcements.begin());
        ++state.announcementCount;
    });
}

}  // namespace

void SHChangeNotify(LONG eventId, UINT flags, LPCVOID item1, LPCVOID)
{
    machine::Announcement a;
    a.kind = "shell";
    a.event = static_cast<std::uint32_t>(eventId);
    if ((flags & 0xFF) == SHCNF_PATHA && item1)
        a.path = static_cast<const char*>(item1);
    keep(std::move(a));
}

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT, UINT timeoutMs,
                            PDWORD_PTR result)
{
    if (result)
        *result = 0;
    // The only window a caller can name here is every top-level one.
    if (window != HWND_BROADCAST) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (message == WM_DEVICECHANGE) {
        machine::Announcement a;
        a.kind = "broadcast";
        a.event = static_cast<std::uint32_t>(wParam);
        a.timeoutMs = timeoutMs;
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
        if (volume && volume->dbcv_size >= sizeof *volume && volume->dbcv_devicetype == DBT_DEVTYP_VOLUME)
            a.unitMask = volume->dbcv_unitmask;
        keep(std::move(a));
    }
    return 1;
}

}  // namespace win
