#include "app/ui/DialogTexts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include "app/ui/LanguageText.h"
#include "app/widgets/ControlId.h"

namespace {

void SetControlText(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else
        control->setWindowTitle(text);
}

}  // namespace

void ApplyDialogTexts(QWidget* dialog, int dialogId)
{
    const QString title = DialogKeyText(QStringLiteral("IDD%1_Title").arg(dialogId));
    if (!title.isEmpty())
        dialog->setWindowTitle(title);
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const int id = ControlId(child);
        if (id == 0)
            continue;
        const QString text = DialogKeyText(QStringLiteral("IDD%1_%2").arg(dialogId).arg(id));
        if (!text.isEmpty())
            SetControlText(child, text);
    }
}
