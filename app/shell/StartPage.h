// The page the window opens on: the search page runs its first probe by
// itself; --page firmware or format then opens that page as its button does
// (the disk setup page has no visible button: this is its service entry).
#pragma once

#include <QString>
#include <functional>

class CMainDlg;

// Runs then once the search page's first probe has ended, or after 30 s.
void AfterFirstSearch(CMainDlg* window, std::function<void()> then);
// Opens the named page as its button would; the search page is already shown.
void OpenStartPage(CMainDlg* window, const QString& page);
