// The partition panel of the disk setup page: the drag bar's split, scale,
// limits and labels, the sizes the fields show and hand on, and the sizes
// the operator types.
#include <QLabel>
#include <QMouseEvent>

#include "app/pages/ChildParttionDlg.h"
#include "app/pages/ParttionSize.h"
#include "app/pages/SliderDlg.h"
#include "app/widgets/CFlatEdit.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/WindowMessage.h"
#include "app_fixture.h"

namespace {

using app_testing::AppMachine;

constexpr int kW = CSliderDlg::kWidth;

class DiskSetupBarTest : public AppMachine {
protected:
    void SetUp() override
    {
        AppMachine::SetUp();
        StartApp();
        AnswerBoxesWith(1);
        panel_ = std::make_unique<CChildParttionDlg>(nullptr);
    }
    void TearDown() override
    {
        panel_.reset();
        AppMachine::TearDown();
    }

    CSliderDlg& Bar() { return *panel_->Slider(); }
    // What the three fields show.
    std::vector<int> Shown()
    {
        return {panel_->Field(1)->Value(), panel_->Field(2)->Value(), panel_->Field(3)->Value()};
    }
    std::vector<std::uint32_t> HandedOn(int count, std::uint32_t total)
    {
        const FormatSizes sizes = panel_->GetPartitionSizes(count, total);
        return {sizes.nSize1, sizes.nSize2, sizes.nSize3};
    }
    std::string Editable()
    {
        std::string out;
        for (int i = 1; i <= 3; ++i)
            out += panel_->Field(i)->Edit()->isEnabled() ? '1' : '0';
        return out;
    }
    void Type(int field, const QString& text, bool enter)
    {
        CFlatEdit* edit = panel_->Field(field)->Edit();
        edit->setText(text);
        if (enter)
            QTest::keyClick(edit, Qt::Key_Return);
        else
            SendWindowMessage(panel_->Field(field), WM_EDIT_FINISHED, 1036, 0);
    }
    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(x, y), Bar().mapToGlobal(QPointF(x, y)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&Bar(), &event);
    }

    std::unique_ptr<CChildParttionDlg> panel_;
};

TEST_F(DiskSetupBarTest, TwoPartitionsShowWholeHundredsAndTheRest)
{
    // A 500,000 MiB disk less the system partition, split in halves.
    panel_->SetupPartitions(2, 498976, 249488, 249488, 0);

    EXPECT_EQ(Shown(), (std::vector<int>{249400, 249576, 0}));
    EXPECT_EQ(HandedOn(2, 498976), (std::vector<std::uint32_t>{249400, 249576, 0}));
    EXPECT_EQ(Editable(), "100");
    EXPECT_EQ(static_cast<QLabel*>(ChildById(&Bar(), 1035))->text(), QStringLiteral("487.3GB"));

    const double scale = (498976.0 - 200) / (kW - 38);
    EXPECT_DOUBLE_EQ(Bar().Scale(), scale);
    EXPECT_EQ(Bar().Divider(1).left, static_cast<int>((249400 - 100) / scale) + 17);
    EXPECT_EQ(Bar().Divider(2).left, kW - 5);
    // Label 2 midway between divider 1 and the right end.
    EXPECT_EQ(Bar().LabelRect(2).left, (kW - Bar().Divider(1).right - 5) / 2 + Bar().Divider(1).right - 3);
}

TEST_F(DiskSetupBarTest, ThirdsAreHandedOnAsHundredsWithTheLastTakingTheRest)
{
    panel_->SetupPartitions(3, 1000, 333, 333, 334);
    EXPECT_EQ(Shown(), (std::vector<int>{300, 300, 400}));
    EXPECT_EQ(HandedOn(3, 1000), (std::vector<std::uint32_t>{300, 300, 400}));
    EXPECT_EQ(Editable(), "110");

    // One partition: everything, nothing typed, no divider to grab.
    panel_->SetupPartitions(1, 7168, 7168, 0, 0);
    EXPECT_EQ(Shown(), (std::vector<int>{7168, 0, 0}));
    EXPECT_EQ(Editable(), "000");
    EXPECT_EQ(Bar().LabelRect(1).left, kW / 2 - 3);
    EXPECT_EQ(Bar().MoveDivider(1, -5), CSliderDlg::kMoveNone);
}

TEST_F(DiskSetupBarTest, DividersStopAtTheirLimitsWithEveryPartitionAtLeast100)
{
    panel_->SetupPartitions(3, 10000, 3333, 3333, 3334);
    const int l1 = Bar().Divider(1).left;
    const int l2 = Bar().Divider(2).left;

    // A free move shifts MiB between the neighbours only.
    EXPECT_EQ(Bar().MoveDivider(1, 10), CSliderDlg::kFirstMoved);
    EXPECT_EQ(Bar().Divider(1).left, l1 + 10);
    Bar().UpdateSizes(CSliderDlg::kFirstMoved, 250);
    EXPECT_EQ(Shown(), (std::vector<int>{3500, 3000, 3500}));

    // Dragged far left, even in one big jump: 100 MiB and the left limit.
    EXPECT_EQ(Bar().MoveDivider(1, -1000), CSliderDlg::kFirstAtLeft);
    Bar().UpdateSizes(CSliderDlg::kFirstAtLeft, -1000);
    EXPECT_EQ(Bar().Divider(1).left, 17);
    EXPECT_EQ(Bar().RawSize(1), 100u);
    EXPECT_EQ(Shown(), (std::vector<int>{100, 6500, 3400}));
    // Label 2 stays between the dividers.
    EXPECT_GT(Bar().LabelRect(2).left, Bar().Divider(1).right);
    EXPECT_LT(Bar().LabelRect(2).right, Bar().Divider(2).left);

    EXPECT_EQ(Bar().MoveDivider(1, 1000), CSliderDlg::kFirstAtSecond);
    Bar().UpdateSizes(CSliderDlg::kFirstAtSecond, 1000);
    EXPECT_EQ(Bar().Divider(1).left, l2 - 16);
    EXPECT_EQ(Shown(), (std::vector<int>{6500, 100, 3400}));

    EXPECT_EQ(Bar().MoveDivider(2, 1000), CSliderDlg::kSecondAtRight);
    Bar().UpdateSizes(CSliderDlg::kSecondAtRight, 1000);
    EXPECT_EQ(Bar().Divider(2).left, kW - 21);
    EXPECT_EQ(Shown(), (std::vector<int>{6500, 3400, 100}));

    EXPECT_EQ(Bar().MoveDivider(2, -1000), CSliderDlg::kSecondAtFirst);
    Bar().UpdateSizes(CSliderDlg::kSecondAtFirst, -1000);
    EXPECT_EQ(Bar().Divider(2).left, Bar().Divider(1).right + 12);
    EXPECT_EQ(Shown(), (std::vector<int>{6500, 100, 3400}));

    // A free move that would shrink a neighbour below 100 stops there.
    Bar().UpdateSizes(CSliderDlg::kSecondMoved, -5000);
    EXPECT_EQ(Shown(), (std::vector<int>{6500, 100, 3400}));
}

TEST_F(DiskSetupBarTest, DraggingWithTheMouseMovesOnlyAGrabbedHandle)
{
    panel_->SetupPartitions(2, 7168, 3584, 3584, 0);
    const EdgeRect d1 = Bar().Divider(1);
    const int y = d1.top + 5;

    // Divider 2 of two partitions is the right end: not grabbable.
    Mouse(QEvent::MouseMove, Bar().Divider(2).left + 1, y, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(Bar().IsHovered());
    Mouse(QEvent::MouseMove, d1.left + 1, y, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(Bar().IsHovered());
    EXPECT_EQ(Bar().cursor().shape(), Qt::SizeHorCursor);

    Mouse(QEvent::MouseButtonPress, d1.left + 1, y, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, d1.left + 31, y, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Bar().Divider(1).left, d1.left + 30);
    EXPECT_EQ(Shown()[0], static_cast<int>(3500 + static_cast<int>(30 * Bar().Scale())) / 100 * 100);
    Mouse(QEvent::MouseMove, 0, y, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 0, y, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(Bar().IsDragging());
    EXPECT_EQ(Bar().Divider(1).left, 17);
    EXPECT_EQ(Shown(), (std::vector<int>{100, 7068, 0}));

    // Passing over the bar does not undo a size being typed.
    panel_->Field(1)->Edit()->setText(QStringLiteral("2000"));
    Mouse(QEvent::MouseMove, 200, y, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(panel_->Field(1)->Edit()->text(), QStringLiteral("2000"));
}

TEST_F(DiskSetupBarTest, TypedSizesAreCheckedAgainstTheNeighbour)
{
    panel_->SetupPartitions(3, 10000, 3333, 3333, 3334);

    // 100 is refused (with a word after Enter), 101 taken and rounded down.
    Type(1, QStringLiteral("100"), true);
    EXPECT_EQ(Shown(), (std::vector<int>{3300, 3300, 3400}));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Input value cannot be less than 100M."));
    EXPECT_EQ(boxes_[0].type, 2);
    Type(1, QStringLiteral("101"), false);
    EXPECT_EQ(Shown(), (std::vector<int>{100, 6400, 3500}));

    // Field 1 may take all of field 2 but 100; a refusal on focus loss is silent.
    Type(1, QStringLiteral("6401"), false);
    EXPECT_EQ(Shown(), (std::vector<int>{100, 6400, 3500}));
    EXPECT_EQ(boxes_.size(), 1u);
    Type(1, QStringLiteral("6400"), true);
    EXPECT_EQ(Shown(), (std::vector<int>{6400, 100, 3500}));

    // Field 2 trades with the last partition.
    Type(2, QStringLiteral("3500"), true);
    EXPECT_EQ(Shown(), (std::vector<int>{6400, 3500, 100}));
    Type(2, QStringLiteral("99999999"), true);
    EXPECT_EQ(Shown(), (std::vector<int>{6400, 3500, 100}));
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, QStringLiteral("Input value cannot be out of the range."));

    // An emptied field counts as 0: refused.
    Type(1, QString(), true);
    EXPECT_EQ(Shown(), (std::vector<int>{6400, 3500, 100}));
    EXPECT_EQ(boxes_.size(), 3u);
}

}  // namespace
