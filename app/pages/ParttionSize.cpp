#include "app/pages/ParttionSize.h"

#include <QLabel>
#include <QPainter>
#include <climits>

#include "app/pages/SliderDlg.h"
#include "app/ui/LanguageText.h"
#include "app/ui/StaticText.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"

CParttionSize::CParttionSize(QWidget* parent) : QWidget(parent), m_background(LoadResourceImage("PNG", 172))
{
    setFixedSize(kWidth, kHeight);
    m_name = MakeStatic(this, ParttionSizeId::Name, QRect(25, 1, 62, 15));
    m_name->setWordWrap(false);
    m_edit = new CFlatEdit(this);
    SetControlId(m_edit, ParttionSizeId::Edit);
    m_edit->setGeometry(90, 0, 51, 20);
    m_edit->SetDigitsOnly(true);
    // Nine digits always fit an int.
    m_edit->setMaxLength(9);
    m_unit = MakeStatic(this, ParttionSizeId::Unit, QRect(145, 1, 30, 15), QStringLiteral("MB"));
    RefreshTexts();
}

void CParttionSize::SetIndex(int index)
{
    m_index = index;
    m_name->setText(Name());
}

void CParttionSize::SetValue(int value) { m_edit->setText(QString::number(value)); }

int CParttionSize::Value() const
{
    const qlonglong value = m_edit->text().toLongLong();
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

QString CParttionSize::Name() const
{
    return QStringLiteral("%1 %2").arg(LanguageText("IDC_STRING_PARTSIZE_PART_NAME")).arg(m_index);
}

void CParttionSize::RefreshTexts()
{
    m_name->setText(Name());
    CreateLanguageFont(m_font, kFontRoleBody);
    m_name->setFont(m_font);
    m_unit->setFont(m_font);
}

bool CParttionSize::event(QEvent* event)
{
    if (event->type() != WindowMessageEvent::EventType())
        return QWidget::event(event);
    auto* message = static_cast<WindowMessageEvent*>(event);
    if (message->message == WM_PARTITION_SIZES && message->wParam != 0 && m_index >= 1 && m_index <= 3) {
        const auto* sizes = reinterpret_cast<const std::uint32_t*>(message->wParam);
        SetValue(static_cast<int>(sizes[m_index - 1]));
    } else if (message->message == WM_EDIT_FINISHED && message->wParam == ParttionSizeId::Edit) {
        TypedSize typed{Value(), message->lParam == 1};
        SendWindowMessage(parentWidget(), WM_EDIT_FINISHED, static_cast<std::uintptr_t>(m_index),
                          reinterpret_cast<std::intptr_t>(&typed));
    }
    return true;
}

void CParttionSize::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_background);
}
