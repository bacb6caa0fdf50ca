// An image button that knows whether the pointer is over it and shows the
// hand cursor: what the skinned buttons and radio buttons share.
#pragma once

#include <QAbstractButton>

class HoverButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit HoverButton(QWidget* parent = nullptr);
    bool isHovered() const { return m_hovered; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void SetHovered(bool hovered);
    bool m_hovered = false;
};
