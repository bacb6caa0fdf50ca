// The one way the application shows a message box.
#pragma once

#include <QString>
#include <functional>

class CMessageDlg;

// The id of the button that closed the box (1 OK, 2 Cancel or close), or -1
// when a box with the same title is already open and nothing was shown.
int ShowMessage(const QString& text, int type);

// Tests answer boxes here instead of a person: called with the box shown
// (not modal), its return value is the answer. Empty restores the modal run.
using MessageAnswerer = std::function<int(CMessageDlg& box)>;
void SetMessageAnswerer(MessageAnswerer answerer);
