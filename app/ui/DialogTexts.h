// Dialog captions and control texts from the language file, by dialog and
// control id.
#pragma once

class QWidget;

void ApplyDialogTexts(QWidget* dialog, int dialogId);
