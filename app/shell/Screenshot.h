// Renders the main window into a PNG once the first device search has
// ended, for documentation and checks, then closes the window.
#pragma once

#include <QString>

class CMainDlg;

void ScreenshotWhenReady(CMainDlg* window, const QString& page, const QString& file);
// The window as it shows on screen: pixels outside its shape are transparent.
bool SaveWindowImage(CMainDlg* window, const QString& file);
