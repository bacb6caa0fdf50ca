#include "app/ui/ShowMessage.h"

#include <QApplication>
#include <QDialog>

#include "app/ui/LanguageText.h"
#include "app/ui/MessageDlg.h"

namespace {

MessageAnswerer& Answerer()
{
    static MessageAnswerer answerer;
    return answerer;
}

bool DialogWithTitleIsOpen(const QString& title)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(window) && window->isVisible() && window->windowTitle() == title)
            return true;
    return false;
}

}  // namespace

void SetMessageAnswerer(MessageAnswerer answerer) { Answerer() = std::move(answerer); }

int ShowMessage(const QString& text, int type)
{
    if (DialogWithTitleIsOpen(LanguageText("IDC_STRING_TITLE")))
        return -1;
    CMessageDlg box(text, type);
    if (Answerer()) {
        box.show();
        const int answer = Answerer()(box);
        box.hide();
        return answer;
    }
    return box.exec();
}
