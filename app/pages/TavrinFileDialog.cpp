#include "app/pages/TavrinFileDialog.h"

#include <QFileDialog>

namespace {

FileChooser& Chooser()
{
    static FileChooser chooser;
    return chooser;
}

QString RunDialog(const FileDialogRequest& request)
{
    QFileDialog dialog(request.owner, QString(), request.directory, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

}  // namespace

void SetFileChooser(FileChooser chooser) { Chooser() = std::move(chooser); }

QString ChooseFileToOpen(const FileDialogRequest& request)
{
    return Chooser() ? Chooser()(request) : RunDialog(request);
}
