// A progress bar drawn from two bitmaps: the empty bar stretched over the
// control, the full bar's left end over the share done.
#pragma once

#include <QImage>
#include <QWidget>

class CBmpProgCtrl : public QWidget {
    Q_OBJECT
public:
    // Bitmap id is the empty bar, id + 1 the full one.
    explicit CBmpProgCtrl(int bitmapId, QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    // False, keeping the old position, when pos lies outside the range.
    bool SetPos(int pos);
    // False for a step that is not positive.
    bool SetStep(int step);
    // Advances by the step; false when the upper bound stopped it.
    bool StepIt();

    int GetPos() const { return m_pos; }
    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    int GetStep() const { return m_step; }
    // The share of the bar done, 0 to 1.
    double Fraction() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_empty;
    QImage m_full;
    int m_lower = 1;
    int m_upper = 100;
    int m_step = 1;
    int m_pos = 0;
};
