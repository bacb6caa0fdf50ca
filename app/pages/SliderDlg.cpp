#include "app/pages/SliderDlg.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/ui/StaticText.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"

namespace {

constexpr int kFirstMinLeft = 17;  // divider 1 never goes further left
constexpr int kGap = 12;           // least room between handles and the right end
constexpr int kHandleWidth = 4;
constexpr int kLabelWidth = 6;
const QColor kHandleColour(38, 86, 160);

std::uint32_t RoundDown(std::uint32_t size) { return size - size % 100; }

}  // namespace

CSliderDlg::CSliderDlg(QWidget* parent)
    : QWidget(parent), m_background(LoadResourceImage("BMP", 164)), m_handle(LoadResourceImage("PNG", 161))
{
    setFixedSize(kWidth, kHeight);
    setMouseTracking(true);
    m_dividers = {EdgeRect{91, 12, 95, 32}, EdgeRect{183, 12, 187, 32}};
    m_labelRects = {EdgeRect{47, 15, 53, 34}, EdgeRect{139, 15, 145, 34}, EdgeRect{232, 15, 238, 34}};
    QFont font = this->font();
    font.setPixelSize(12);
    for (int i = 0; i < 3; ++i) {
        m_labels[i] = MakeStatic(this, SliderDlgId::FirstMark + i, QRect(), QString::number(i + 1));
        m_labels[i]->setFont(font);
    }
    m_leftLabel = MakeStatic(this, SliderDlgId::LeftLabel, QRect(0, 45, 30, 15), QStringLiteral("0GB"));
    m_rightLabel = MakeStatic(this, SliderDlgId::RightLabel, QRect(230, 45, 150, 15), QStringLiteral("10GB"));
    m_rightLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_leftLabel->setFont(font);
    m_rightLabel->setFont(font);
    MoveStatics();
}

void CSliderDlg::SetTotal(std::uint32_t total, int count)
{
    m_total = total;
    m_count = std::clamp(count, 1, 3);
    m_rightLabel->setText(QString::asprintf("%.1lfGB", total / 1024.0));
    // Pixels the handles can travel: each partition keeps 100 MiB.
    const int travel = width() - (m_count * 16 + 6);
    const std::int64_t shared = static_cast<std::int64_t>(total) - m_count * static_cast<std::int64_t>(kMinSize);
    m_scale = travel > 0 && shared > 0 ? static_cast<double>(shared) / travel : 0.0;
    m_labels[1]->setVisible(m_count >= 2);
    m_labels[2]->setVisible(m_count == 3);
}

void CSliderDlg::SetSizes(std::uint32_t first, std::uint32_t second)
{
    const int w = width();
    if (m_count == 1) {
        m_sizes = {m_total, 0, 0};
        SetLabelX(1, w / 2 - 3);
    } else {
        m_sizes[0] = RoundDown(first);
        SetDividerLeft(1, Pixels(m_sizes[0]) + kFirstMinLeft);
        if (m_count == 2) {
            m_sizes[1] = Rest(m_sizes[0], 0);
            m_sizes[2] = 0;
            SetDividerLeft(2, w - 5);
        } else {
            m_sizes[1] = RoundDown(second);
            m_sizes[2] = Rest(m_sizes[0], m_sizes[1]);
            SetDividerLeft(2, m_dividers[0].right + Pixels(m_sizes[1]) + kGap);
        }
        PlaceLabels(kFirstMoved);
        if (m_count == 3)
            PlaceLabels(kSecondMoved);
    }
    MoveStatics();
}

std::uint32_t CSliderDlg::GetSize(int i) const { return i >= 1 && i <= 3 ? RoundDown(RawSize(i)) : 0; }

void CSliderDlg::UpdateSizes(int code, int delta)
{
    auto& s = m_sizes;
    switch (code) {
    case kFirstAtLeft:
        s[0] = kMinSize;
        s[1] = Rest(s[0], s[2]);
        break;
    case kFirstAtSecond:
        s[1] = kMinSize;
        s[0] = Rest(s[1], s[2]);
        break;
    case kSecondAtFirst:
        s[1] = kMinSize;
        s[2] = Rest(s[1], s[0]);
        break;
    case kSecondAtRight:
        s[2] = kMinSize;
        s[1] = Rest(s[2], s[0]);
        break;
    case kFirstMoved:
        Shift(0, 1, 2, delta);
        break;
    case kSecondMoved:
        Shift(1, 2, 0, delta);
        break;
    default:
        break;
    }
    Report();
}

int CSliderDlg::MoveDivider(int which, int dx)
{
    if (m_count == 1 || (which == 2 && m_count == 2) || (which != 1 && which != 2))
        return kMoveNone;
    const int w = width();
    EdgeRect& d1 = m_dividers[0];
    EdgeRect& d2 = m_dividers[1];
    int code;
    if (which == 1) {
        // A fast drag past a limit stops at the limit, not beyond it.
        if (dx < 0 && d1.left + dx <= kFirstMinLeft) {
            SetDividerLeft(1, kFirstMinLeft);
            code = kFirstAtLeft;
        } else if (dx > 0 && d2.left - (d1.right + dx) <= kGap) {
            SetDividerLeft(1, d2.left - 16);
            code = kFirstAtSecond;
        } else {
            SetDividerLeft(1, d1.left + dx);
            code = kFirstMoved;
        }
    } else {
        if (dx < 0 && d2.left + dx - d1.right <= kGap) {
            SetDividerLeft(2, d1.right + kGap);
            code = kSecondAtFirst;
        } else if (dx > 0 && w - (d2.right + dx) - 5 <= kGap) {
            SetDividerLeft(2, w - 21);
            code = kSecondAtRight;
        } else {
            SetDividerLeft(2, d2.left + dx);
            code = kSecondMoved;
        }
    }
    PlaceLabels(code);
    MoveStatics();
    return code;
}

int CSliderDlg::Pixels(std::uint32_t size) const
{
    if (m_scale <= 0.0 || size <= kMinSize)
        return 0;
    return static_cast<int>(std::min((size - kMinSize) / m_scale, static_cast<double>(width())));
}

void CSliderDlg::SetDividerLeft(int which, int left)
{
    EdgeRect& d = m_dividers.at(static_cast<size_t>(which - 1));
    d.left = left;
    d.right = left + kHandleWidth;
}

void CSliderDlg::SetLabelX(int i, int x)
{
    EdgeRect& r = m_labelRects.at(static_cast<size_t>(i - 1));
    r.left = x;
    r.right = x + kLabelWidth;
}

void CSliderDlg::PlaceLabels(int code)
{
    const EdgeRect& d1 = m_dividers[0];
    const EdgeRect& d2 = m_dividers[1];
    // Label 2 sits between the dividers; with two partitions divider 2 rests
    // at the right end, which gives the same place.
    const int between = (d2.left - d1.right) / 2 + d1.right - 3;
    if (code == kFirstAtLeft || code == kFirstAtSecond || code == kFirstMoved) {
        SetLabelX(1, (d1.left - 5) / 2 + 2);
        SetLabelX(2, between);
    } else if (code == kSecondAtFirst || code == kSecondAtRight || code == kSecondMoved) {
        SetLabelX(2, between);
        SetLabelX(3, (width() - d2.right - 5) / 2 + d2.right - 3);
    }
}

void CSliderDlg::MoveStatics()
{
    for (size_t i = 0; i < m_labels.size(); ++i) {
        const EdgeRect& r = m_labelRects[i];
        m_labels[i]->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

void CSliderDlg::Shift(size_t grow, size_t shrink, size_t other, int delta)
{
    auto& s = m_sizes;
    const std::int64_t grown = static_cast<std::int64_t>(s[grow]) + delta;
    const std::int64_t shrunk = static_cast<std::int64_t>(s[shrink]) - delta;
    if (grown < kMinSize) {
        s[grow] = kMinSize;
        s[shrink] = Rest(s[grow], s[other]);
    } else if (shrunk < kMinSize) {
        s[shrink] = kMinSize;
        s[grow] = Rest(s[shrink], s[other]);
    } else {
        s[grow] = static_cast<std::uint32_t>(grown);
        s[shrink] = static_cast<std::uint32_t>(shrunk);
    }
}

std::uint32_t CSliderDlg::Rest(std::uint32_t a, std::uint32_t b) const
{
    const std::int64_t rest = static_cast<std::int64_t>(m_total) - a - b;
    return rest > 0 ? static_cast<std::uint32_t>(rest) : 0;
}

void CSliderDlg::Report()
{
    // The sizes the page hands on: whole 100 MiB, the last one the rest.
    std::array<std::uint32_t, 3> shown{m_total, 0, 0};
    if (m_count == 2)
        shown = {GetSize(1), Rest(GetSize(1), 0), 0};
    else if (m_count == 3)
        shown = {GetSize(1), GetSize(2), Rest(GetSize(1), GetSize(2))};
    SendWindowMessage(parentWidget(), WM_PARTITION_SIZES, reinterpret_cast<std::uintptr_t>(shown.data()), 0);
}

void CSliderDlg::HoverAt(const QPoint& pos)
{
    m_grabbed = m_dividers[0].Contains(pos) ? 1 : m_dividers[1].Contains(pos) ? 2 : 0;
    if (m_count == 1 || (m_count == 2 && m_grabbed == 2))
        m_grabbed = 0;
    m_hover = m_grabbed != 0;
    if (m_hover)
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

void CSliderDlg::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (!m_dragging) {
        // Nothing changed, so nothing is reported: a size being typed stays.
        HoverAt(pos);
        return;
    }
    const int dx = pos.x() - m_lastPoint.x();
    m_lastPoint = pos;
    const int code = MoveDivider(m_grabbed, dx);
    const int delta = static_cast<int>(dx * m_scale);
    update();
    UpdateSizes(code, delta);
}

void CSliderDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    HoverAt(event->position().toPoint());
    if (m_grabbed != 0) {
        m_lastPoint = event->position().toPoint();
        m_dragging = true;
    }
}

void CSliderDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_grabbed == 0)
        return;
    m_dragging = false;
    update();
    HoverAt(event->position().toPoint());
}

void CSliderDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawImage(QPoint(0, 0), m_background);
    for (int which = 1; which < m_count; ++which) {
        const EdgeRect& d = Divider(which);
        if (m_handle.isNull())
            painter.fillRect(QRect(d.left, d.top, d.right - d.left, d.bottom - d.top), kHandleColour);
        else
            painter.drawImage(QPoint(d.left, d.top), m_handle);
    }
}
