// The open-file dialog of the firmware page, behind a seam so tests choose
// files without a real dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString directory;
    QString filter;         // Qt's form, "Name (*.x);;Other (*)"; empty for none
    QString defaultSuffix;  // added to a typed name without one
    QString initialName;
};

// The chosen file's full path, empty when the operator cancelled.
QString ChooseFileToOpen(const FileDialogRequest& request);

// Tests answer here instead of a dialog; empty restores the dialog.
using FileChooser = std::function<QString(const FileDialogRequest& request)>;
void SetFileChooser(FileChooser chooser);
