// The image radio button: its group, the choice it reports, its images.
#include <QEnterEvent>
#include <QTest>

#include "app/widgets/CRadioBox.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

TEST(RadioBoxTest, NamedChoiceTellsTheParentAndUnchecksItsGroup)
{
    MessageRecorder dialog;
    auto* one = new CRadioBox(QStringLiteral("ONE"), &dialog);
    auto* two = new CRadioBox(QStringLiteral("TWO"), &dialog);
    auto* other = new CRadioBox(QStringLiteral("Other"), &dialog);
    auto* elsewhere = new CRadioBox(QStringLiteral("ONE"), &dialog);
    elsewhere->setProperty(kRadioGroupProperty, 7);
    one->SetCheck(true, false);
    elsewhere->SetCheck(true, false);

    QTest::mouseClick(two, Qt::LeftButton);
    EXPECT_TRUE(two->GetCheck());
    EXPECT_FALSE(one->GetCheck());
    EXPECT_TRUE(elsewhere->GetCheck());
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0].message, 0x467u);
    EXPECT_EQ(dialog.messages[0].wParam, 2u);
    EXPECT_EQ(dialog.messages[0].lParam, 0);

    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_TRUE(other->GetCheck());
    EXPECT_FALSE(two->GetCheck());
    EXPECT_EQ(dialog.messages.size(), 1u) << "other texts tell nobody";
    EXPECT_FALSE(other->SetCheck(true, true));
}

TEST(RadioBoxTest, StatesDrawTheirImages)
{
    const QImage normal = Artwork("PNG", 167);
    CRadioBox radio(QStringLiteral("ONE"));  // no parent: only checks itself
    auto expectShows = [&](int id) {
        const QImage image = Artwork("PNG", id);
        const QPoint at = Distinguishing(normal, image);
        EXPECT_EQ(Grab(radio).pixel(at), image.pixel(at)) << id;
    };
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QApplication::sendEvent(&radio, &enter);
    expectShows(166);
    QTest::mouseClick(&radio, Qt::LeftButton);
    EXPECT_TRUE(radio.GetCheck());
    expectShows(165);
    radio.SetCheck(false, true);
    radio.setEnabled(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&radio, &leave);
    expectShows(168);
}

}  // namespace
