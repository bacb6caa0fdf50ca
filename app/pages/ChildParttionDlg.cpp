#include "app/pages/ChildParttionDlg.h"

#include <QPainter>
#include <algorithm>

#include "app/pages/ParttionSize.h"
#include "app/pages/SliderDlg.h"
#include "app/ui/LanguageText.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/ShowMessage.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"

CChildParttionDlg::CChildParttionDlg(QWidget* parent) : QWidget(parent), m_background(LoadResourceImage("PNG", 174))
{
    setFixedSize(kWidth, kHeight);
    m_slider = new CSliderDlg(this);
    m_slider->move(0, 0);
    const QPoint places[3] = {QPoint(0, 60), QPoint(209, 60), QPoint(0, 94)};
    for (int i = 0; i < 3; ++i) {
        m_fields[i] = new CParttionSize(this);
        m_fields[i]->SetIndex(i + 1);
        m_fields[i]->move(places[i]);
    }
}

void CChildParttionDlg::SetupPartitions(int count, std::uint32_t total, std::uint32_t size1, std::uint32_t size2,
                                        std::uint32_t)
{
    for (int i = 1; i <= 3; ++i)
        Field(i)->Edit()->setEnabled(i < count);
    m_slider->SetTotal(total, count);
    m_slider->SetSizes(size1, size2);
    m_slider->UpdateSizes(CSliderDlg::kMoveNone, 0);
    update();
    m_slider->update();
}

FormatSizes CChildParttionDlg::GetPartitionSizes(int count, std::uint32_t total) const
{
    const std::int64_t first = m_slider->GetSize(1);
    const std::int64_t second = m_slider->GetSize(2);
    auto rest = [total](std::int64_t used) {
        return static_cast<std::uint32_t>(std::max<std::int64_t>(0, static_cast<std::int64_t>(total) - used));
    };
    if (count == 2)
        return {static_cast<std::uint32_t>(first), rest(first), 0};
    if (count == 3)
        return {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(second), rest(first + second)};
    return {total, 0, 0};
}

void CChildParttionDlg::RefreshTexts()
{
    for (CParttionSize* field : m_fields)
        field->RefreshTexts();
}

void CChildParttionDlg::OnTypedSize(int index, int value, bool byEnter)
{
    if (index < 1 || index > 3)
        return;
    std::int64_t s1 = m_slider->GetSize(1);
    std::int64_t s2 = m_slider->GetSize(2);
    const std::int64_t s3 = m_slider->GetSize(3);
    if (value == static_cast<std::int64_t>(m_slider->GetSize(index)))
        return;
    if (value <= static_cast<int>(CSliderDlg::kMinSize)) {
        Refuse(index, "IDC_STRING_FORMAT_MIN_SIZE_WARMING", byEnter);
        return;
    }
    if (index == 1) {
        if (value > s1 + s2 - CSliderDlg::kMinSize) {
            Refuse(index, "IDC_STRING_FORMAT_MAX_SIZE_WARMING", byEnter);
            return;
        }
        s2 = s1 + s2 - value;
        s1 = value;
    } else if (index == 2) {
        if (value > s2 + s3 - CSliderDlg::kMinSize) {
            Refuse(index, "IDC_STRING_FORMAT_MAX_SIZE_WARMING", byEnter);
            return;
        }
        s2 = value;
    } else {
        // The last partition's size is never typed.
        Field(index)->SetValue(static_cast<int>(m_slider->GetSize(index)));
        return;
    }
    m_slider->SetSizes(static_cast<std::uint32_t>(s1), static_cast<std::uint32_t>(s2));
    m_slider->UpdateSizes(CSliderDlg::kMoveNone, 0);
    update();
    m_slider->update();
}

void CChildParttionDlg::Refuse(int index, const char* warningKey, bool byEnter)
{
    Field(index)->SetValue(static_cast<int>(m_slider->GetSize(index)));
    // Only a finished entry explains itself: a box on every focus change
    // would fight the click that moved the focus.
    if (byEnter)
        ShowMessage(LanguageText(warningKey), kMessageWarning);
}

bool CChildParttionDlg::event(QEvent* event)
{
    if (event->type() != WindowMessageEvent::EventType())
        return QWidget::event(event);
    auto* message = static_cast<WindowMessageEvent*>(event);
    if (message->message == WM_PARTITION_SIZES) {
        for (CParttionSize* field : m_fields)
            SendWindowMessage(field, WM_PARTITION_SIZES, message->wParam, 0);
    } else if (message->message == WM_EDIT_FINISHED && message->lParam != 0) {
        const auto* typed = reinterpret_cast<const TypedSize*>(message->lParam);
        OnTypedSize(static_cast<int>(message->wParam), typed->value, typed->byEnter);
    }
    return true;
}

void CChildParttionDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_background);
}
