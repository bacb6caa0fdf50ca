// Caption-less windows move when dragged by their top band.
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

class TitleBandDrag : public QObject {
public:
    // A press with y below bandHeight and x within maxX starts a move.
    TitleBandDrag(QWidget* window, int bandHeight, int maxX);
    bool InBand(const QPoint& pos) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    int m_bandHeight;
    int m_maxX;
    bool m_dragging = false;
    QPoint m_grabOffset;
};
