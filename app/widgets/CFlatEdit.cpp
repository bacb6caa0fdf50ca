#include "app/widgets/CFlatEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>

#include "app/widgets/ControlId.h"
#include "app/widgets/WindowMessage.h"

namespace {

const QColor kBorder(126, 157, 185);
const QColor kDisabledFace(239, 243, 245);

}  // namespace

CFlatEdit::CFlatEdit(QWidget* parent) : QLineEdit(parent) {}

void CFlatEdit::SetDigitsOnly(bool digitsOnly)
{
    if (digitsOnly == IsDigitsOnly())
        return;
    if (digitsOnly) {
        m_digitsValidator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
        setValidator(m_digitsValidator);
    } else {
        setValidator(nullptr);
        delete m_digitsValidator;
        m_digitsValidator = nullptr;
    }
}

void CFlatEdit::paintEvent(QPaintEvent* event)
{
    if (isEnabled()) {
        QLineEdit::paintEvent(event);
    } else {
        QPainter painter(this);
        painter.fillRect(rect(), kDisabledFace);
        QFont font(QStringLiteral("Times New Roman"));
        font.setPointSizeF(7.9);
        painter.setFont(font);
        // The window-text colour, not the greyed one: the value stays readable.
        painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
        // One pixel in from the inside of the border.
        const QRect textRect = rect().adjusted(2, 1, -1, -1);
        const QString shown = painter.fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width());
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
    QPainter painter(this);
    painter.setPen(kBorder);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CFlatEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Consumed, so the dialog's default button does not fire as well.
        event->accept();
        FinishInput(true);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CFlatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The edit's own context menu takes the focus without ending the input.
    if (event->reason() != Qt::PopupFocusReason)
        FinishInput(false);
}

void CFlatEdit::FinishInput(bool byEnter)
{
    if (IsDigitsOnly() && text().isEmpty())
        setText(QStringLiteral("0"));
    SendWindowMessage(parentWidget(), WM_EDIT_FINISHED, static_cast<std::uintptr_t>(ControlId(this)), byEnter ? 1 : 0);
}
