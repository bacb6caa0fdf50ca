// What a page reports to the main window with WM_PAGE_STATE: the page to
// show (or the buttons to lock) and what the application is busy with.
#pragma once

// Activity states (the message's lParam).
inline constexpr int kActivityIdle = 1;
inline constexpr int kActivityUpgrading = 2;
inline constexpr int kActivityFormatting = 3;
inline constexpr int kActivitySearching = 4;

// Page codes (its wParam); kPageLocked disables the page buttons and leaves
// the page shown as it is.
inline constexpr int kPageFirmware = 1;
inline constexpr int kPageDiskSetup = 2;
inline constexpr int kPageLocked = 3;
inline constexpr int kPageSearch = 4;
