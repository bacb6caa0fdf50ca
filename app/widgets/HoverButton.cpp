#include "app/widgets/HoverButton.h"

HoverButton::HoverButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void HoverButton::SetHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    update();
}

void HoverButton::enterEvent(QEnterEvent* event)
{
    SetHovered(true);
    QAbstractButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event)
{
    SetHovered(false);
    QAbstractButton::leaveEvent(event);
}

void HoverButton::mouseMoveEvent(QMouseEvent* event)
{
    SetHovered(true);
    QAbstractButton::mouseMoveEvent(event);
}
