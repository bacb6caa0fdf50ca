// The partition panel of the disk setup page: the drag bar above three size
// fields. Keeps the two in step and checks the sizes the operator types.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

#include "app/core/disksetup/FormatDevice.h"

class CParttionSize;
class CSliderDlg;

class CChildParttionDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 115;

    explicit CChildParttionDlg(QWidget* parent);

    // Only the sizes the operator may choose can be typed: the last
    // partition always takes the rest.
    void SetupPartitions(int count, std::uint32_t total, std::uint32_t size1, std::uint32_t size2,
                         std::uint32_t size3);
    FormatSizes GetPartitionSizes(int count, std::uint32_t total) const;
    void RefreshTexts();

    CSliderDlg* Slider() const { return m_slider; }
    // Field 1 to 3.
    CParttionSize* Field(int index) const { return m_fields.at(static_cast<size_t>(index - 1)); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnTypedSize(int index, int value, bool byEnter);
    void Refuse(int index, const char* warningKey, bool byEnter);

    CSliderDlg* m_slider;
    std::array<CParttionSize*, 3> m_fields{};
    QImage m_background;
};
