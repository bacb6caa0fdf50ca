// An image radio button. Its window text names the choice ("ONE", "TWO",
// "THREE"); choosing one tells the parent which.
#pragma once

#include "app/widgets/HoverButton.h"
#include <QImage>

#include "app/core/jobs/WorkerMessages.h"

// Radio button to its parent when a named choice is clicked: wParam 1 to 3.
inline constexpr unsigned WM_RADIO_CHOSEN = kWmUser + 103;
static_assert(WM_RADIO_CHOSEN == 0x467);

// Radio buttons of one parent with the same value of this property (0 when
// unset) exclude each other.
inline constexpr char kRadioGroupProperty[] = "radioGroup";

class CRadioBox : public HoverButton {
    Q_OBJECT
public:
    explicit CRadioBox(QWidget* parent = nullptr);
    explicit CRadioBox(const QString& text, QWidget* parent = nullptr);

    // False when the state is already value.
    bool SetCheck(bool value, bool redraw);
    bool GetCheck() const { return m_checked; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnClicked();

    enum { kNormal, kDisabled, kHover, kChecked };
    QImage m_images[4];
    bool m_checked = false;
};
