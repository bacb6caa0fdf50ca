// Private window messages between the workers, the pages and the main
// window. The numbers are fixed: the pages and the main window match on them.
#pragma once

#include <type_traits>

// WM_USER of the Windows API; named apart so this header can sit beside
// the system's own.
inline constexpr unsigned kWmUser = 0x0400;

// Format worker to its page: failure, wParam 1 to 4 (lParam the partition
// number for 4).
inline constexpr unsigned WM_FORMAT_ERROR = kWmUser + 130;
// Format worker to its page: wParam 1 started, 2 formatting, 3 done.
inline constexpr unsigned WM_FORMAT_PROGRESS = kWmUser + 131;
// Upgrade worker to its page: wParam the operation (1 probe, 2 upgrade,
// 3 image check), lParam 0 after a probe, the result code after the others.
inline constexpr unsigned WM_WORKER_DONE = kWmUser + 151;
// Pages to the main window: wParam page code, lParam activity state.
inline constexpr unsigned WM_PAGE_STATE = kWmUser + 152;

// The number a worker's named code (an operation, stage or result) travels
// as in wParam or lParam.
template <typename Code>
    requires std::is_enum_v<Code>
constexpr int CodeOf(Code code)
{
    return static_cast<int>(code);
}

static_assert(WM_FORMAT_ERROR == 0x482 && WM_FORMAT_PROGRESS == 0x483);
static_assert(WM_WORKER_DONE == 0x497 && WM_PAGE_STATE == 0x498);
