// The drag bar of the disk setup page: one to three partitions side by side,
// split by up to two handles the operator drags. Sizes are MiB; every change
// is reported to the panel with WM_PARTITION_SIZES.
#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <cstdint>

#include "app/core/jobs/WorkerMessages.h"

class QLabel;

// Drag bar to panel, panel to each size field: wParam points to three
// std::uint32_t sizes in MiB, the ones the fields show.
inline constexpr unsigned WM_PARTITION_SIZES = kWmUser + 111;
static_assert(WM_PARTITION_SIZES == 0x46F);

// A rectangle as the dialog code keeps it: right and bottom lie one past the
// last pixel.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(const QPoint& p) const { return p.x() >= left && p.x() < right && p.y() >= top && p.y() < bottom; }
};

// Control ids of the partition size slider; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct SliderDlgId {
    enum : int {
        FirstMark = 1031,  // 1031 to 1033: the marks of the three partitions
        LeftLabel = 1034,
        RightLabel = 1035,
    };
};

class CSliderDlg : public QWidget {
    Q_OBJECT
public:
    // What MoveDivider did: a limit that stopped a divider, or a free move.
    enum MoveCode {
        kMoveNone = 0,
        kFirstAtLeft = 1,
        kFirstAtSecond = 2,
        kSecondAtFirst = 3,
        kSecondAtRight = 4,
        kFirstMoved = 7,
        kSecondMoved = 8,
    };
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 60;
    static constexpr std::uint32_t kMinSize = 100;

    explicit CSliderDlg(QWidget* parent);

    void SetTotal(std::uint32_t total, int count);
    // Rounds both down to whole 100 MiB and places dividers and labels.
    void SetSizes(std::uint32_t first, std::uint32_t second);
    // Size i (1 to 3) rounded down to whole 100 MiB; 0 for any other i.
    std::uint32_t GetSize(int i) const;
    // Applies a MoveDivider code with the dragged MiB, then reports.
    void UpdateSizes(int code, int delta);
    // Moves divider 1 or 2 by dx pixels within its limits; returns the code.
    int MoveDivider(int which, int dx);

    int Count() const { return m_count; }
    std::uint32_t Total() const { return m_total; }
    double Scale() const { return m_scale; }
    // The unrounded size i (1 to 3).
    std::uint32_t RawSize(int i) const { return m_sizes.at(static_cast<size_t>(i - 1)); }
    const EdgeRect& Divider(int which) const { return m_dividers.at(static_cast<size_t>(which - 1)); }
    const EdgeRect& LabelRect(int i) const { return m_labelRects.at(static_cast<size_t>(i - 1)); }
    int Grabbed() const { return m_grabbed; }
    bool IsHovered() const { return m_hover; }
    bool IsDragging() const { return m_dragging; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int Pixels(std::uint32_t size) const;
    void SetDividerLeft(int which, int left);
    void SetLabelX(int i, int x);
    void PlaceLabels(int code);
    void MoveStatics();
    void HoverAt(const QPoint& pos);
    void Shift(size_t grow, size_t shrink, size_t other, int delta);
    std::uint32_t Rest(std::uint32_t a, std::uint32_t b) const;
    void Report();

    std::array<EdgeRect, 2> m_dividers;
    std::array<EdgeRect, 3> m_labelRects;
    std::array<QLabel*, 3> m_labels{};
    QLabel* m_leftLabel;
    QLabel* m_rightLabel;
    bool m_dragging = false;
    int m_grabbed = 0;
    int m_count = 3;
    QPoint m_lastPoint;
    std::uint32_t m_total = 0;
    std::array<std::uint32_t, 3> m_sizes{};
    double m_scale = 0.0;
    QImage m_background;
    QImage m_handle;
    bool m_hover = false;
};
