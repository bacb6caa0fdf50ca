// A flat single-line edit: a thin blue border, a flat look when disabled,
// and a message to the parent when the input is finished.
#pragma once

#include <QLineEdit>

#include "app/core/jobs/WorkerMessages.h"

// Edit to its parent when the input is finished: wParam the edit's control
// id, lParam 1 after Enter, 0 after losing the focus.
inline constexpr unsigned WM_EDIT_FINISHED = kWmUser + 112;
static_assert(WM_EDIT_FINISHED == 0x470);

class QValidator;

class CFlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CFlatEdit(QWidget* parent = nullptr);

    // Only digits can be typed; an empty input is finished as "0".
    void SetDigitsOnly(bool digitsOnly);
    bool IsDigitsOnly() const { return m_digitsValidator != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void FinishInput(bool byEnter);

    QValidator* m_digitsValidator = nullptr;
};
