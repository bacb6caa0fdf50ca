#include "app/widgets/CBmpProgCtrl.h"

#include <QPainter>
#include <algorithm>

#include "app/widgets/ResourceImage.h"

CBmpProgCtrl::CBmpProgCtrl(int bitmapId, QWidget* parent)
    : QWidget(parent), m_empty(LoadResourceImage("BMP", bitmapId)), m_full(LoadResourceImage("BMP", bitmapId + 1))
{
    if (!m_empty.isNull())
        resize(m_empty.size());
}

// Bounds given the wrong way round still make a range a position fits in.
void CBmpProgCtrl::SetRange(int lower, int upper)
{
    m_lower = std::min(lower, upper);
    m_upper = std::max(lower, upper);
    update();
}

bool CBmpProgCtrl::SetPos(int pos)
{
    if (pos < m_lower || pos > m_upper)
        return false;
    m_pos = pos;
    update();
    return true;
}

bool CBmpProgCtrl::SetStep(int step)
{
    if (step <= 0)
        return false;
    m_step = step;
    return true;
}

bool CBmpProgCtrl::StepIt()
{
    bool stepped = true;
    if (static_cast<long long>(m_pos) + m_step > m_upper) {
        m_pos = m_upper;
        stepped = false;
    } else {
        m_pos += m_step;
    }
    update();
    return stepped;
}

double CBmpProgCtrl::Fraction() const
{
    const long long range = static_cast<long long>(m_upper) - m_lower;
    if (range == 0)
        return 0.0;
    // The position over the span, not its distance from the lower bound; a
    // position past the span draws a full bar.
    return std::clamp(static_cast<double>(m_pos) / static_cast<double>(range), 0.0, 1.0);
}

QSize CBmpProgCtrl::sizeHint() const { return m_empty.isNull() ? QSize(192, 19) : m_empty.size(); }

void CBmpProgCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(rect(), m_empty);
    const double fraction = Fraction();
    const int doneWidth = static_cast<int>(width() * fraction);
    const int sourceWidth = static_cast<int>(m_full.width() * fraction);
    if (doneWidth > 0 && sourceWidth > 0)
        painter.drawImage(QRect(0, 0, doneWidth, height()), m_full, QRect(0, 0, sourceWidth, m_full.height()));
}
