#include "app/ui/TitleBandDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TitleBandDrag::TitleBandDrag(QWidget* window, int bandHeight, int maxX)
    : QObject(window), m_window(window), m_bandHeight(bandHeight), m_maxX(maxX)
{
    window->installEventFilter(this);
}

bool TitleBandDrag::InBand(const QPoint& pos) const { return pos.y() < m_bandHeight && pos.x() <= m_maxX; }

bool TitleBandDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    // Only mouse events are QMouseEvents: cast once the type says so.
    const auto mouse = [event] { return static_cast<QMouseEvent*>(event); };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse()->button() == Qt::LeftButton && InBand(mouse()->position().toPoint())) {
            // The window manager moves it where it can; elsewhere we follow the mouse.
            QWindow* handle = m_window->windowHandle();
            if (handle && handle->startSystemMove())
                return false;
            m_dragging = true;
            m_grabOffset = mouse()->globalPosition().toPoint() - m_window->pos();
        }
        return false;
    case QEvent::MouseMove:
        if (m_dragging && (mouse()->buttons() & Qt::LeftButton))
            m_window->move(mouse()->globalPosition().toPoint() - m_grabOffset);
        return false;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        return false;
    default:
        return false;
    }
}
