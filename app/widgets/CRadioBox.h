// An image radio button. Its window text names the choice ("ONE", "TWO",
// "THREE"); choosing one tells the parent which.
#pragma once

#include <QAbstractButton>
#include <QImage>

#include "app/core/WorkerMessages.h"

// Radio button to its parent when a named choice is clicked: wParam 1 to 3.
inline constexpr unsigned WM_RADIO_CHOSEN = kWmUser + 103;
static_assert(WM_RADIO_CHOSEN == 0x467);

// Radio buttons of one parent with the same value of this property (0 when
// unset) exclude each other.
inline constexpr char kRadioGroupProperty[] = "radioGroup";

class CRadioBox : public QAbstractButton {
    Q_OBJECT
public:
    explicit CRadioBox(QWidget* parent = nullptr);
    explicit CRadioBox(const QString& text, QWidget* parent = nullptr);

    // False when the state is already value.
    bool SetCheck(bool value, bool redraw);
    bool GetCheck() const { return m_checked; }
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void OnClicked();
    void SetHovered(bool hovered);

    enum { kNormal, kDisabled, kHover, kChecked };
    QImage m_images[4];
    bool m_checked = false;
    bool m_hovered = false;
};
