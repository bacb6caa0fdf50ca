// The flat edit: Enter and focus loss finish the input and tell the
// parent; digits only; its frame when disabled.
#include <QFocusEvent>
#include <QTest>

#include "app/widgets/CFlatEdit.h"
#include "app/widgets/ControlId.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

struct FlatEditTest : ::testing::Test {
    FlatEditTest() { SetControlId(edit, 1012); }
    void LoseFocus(Qt::FocusReason reason)
    {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(edit, &out);
    }
    MessageRecorder dialog;
    CFlatEdit* edit = new CFlatEdit(&dialog);
};

TEST_F(FlatEditTest, EnterAndFocusLossFinishAnEmptyDigitsInputAsZero)
{
    edit->SetDigitsOnly(true);
    QTest::keyClicks(edit, QStringLiteral("4a-2"));
    EXPECT_EQ(edit->text(), QStringLiteral("42"));
    edit->clear();
    const int keysBefore = dialog.keyPresses;
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    EXPECT_EQ(dialog.keyPresses, keysBefore) << "Enter stops at the edit";
    edit->clear();
    LoseFocus(Qt::TabFocusReason);
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    LoseFocus(Qt::PopupFocusReason);  // its own context menu

    ASSERT_EQ(dialog.messages.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(dialog.messages[i].message, 0x470u);
        EXPECT_EQ(dialog.messages[i].wParam, 1012u);
        EXPECT_EQ(dialog.messages[i].lParam, i == 0 ? 1 : 0);
    }
    edit->SetDigitsOnly(false);
    edit->clear();
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(edit->text(), QString()) << "only digits input becomes 0";
    EXPECT_EQ(dialog.messages.size(), 3u);
}

TEST_F(FlatEditTest, DisabledIsFlatInsideTheBorder)
{
    edit->resize(100, 22);
    edit->setText(QStringLiteral("12"));
    edit->setEnabled(false);
    const QImage shot = Grab(*edit);
    EXPECT_EQ(shot.pixelColor(0, 11), QColor(126, 157, 185));
    EXPECT_EQ(shot.pixelColor(95, 11), QColor(239, 243, 245));
    int dark = 0;
    for (int x = 2; x < 30; ++x)
        for (int y = 2; y < 20; ++y)
            dark += shot.pixelColor(x, y).lightness() < 120;
    EXPECT_GT(dark, 0) << "the value is drawn in window text";
}

}  // namespace
