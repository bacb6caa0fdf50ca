// Quitting while the firmware page works, with the real workers on the
// emulated disk: the window stays until the device is safe, the disk is left
// whole (as it was, set up, or upgraded, never half written), and it keeps
// painting through the whole job.
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include "app/widgets/ControlId.h"
#include "firmware_page_fixture.h"

namespace {

using namespace firmware_page;

class FirmwarePageQuit : public FirmwarePageTest {
protected:
    // The window's state just after the operator said yes to quitting.
    struct AfterYes {
        bool visible = false;
        bool quitting = false;
        QString notice;
    };
    AfterYes Quit(const std::function<void()>& way)
    {
        way();
        const auto* label = qobject_cast<QLabel*>(ChildById(page(), 1041));
        return {window_->isVisible(), window_->IsQuitting(), label ? label->text() : QString()};
    }
    bool FirmwareUntouched() { return DiskBytes(1, kKernelAt, 4096) == std::string(4096, '\0') && FlagWord() == 0; }
    bool FirmwareWhole()
    {
        return DiskBytes(1, kKernelAt, image_.kernel.size()) == image_.kernel &&
               DiskBytes(1, kRootfsAt, image_.rootfs.size()) == image_.rootfs && FlagWord() == 0x0b;
    }
    unsigned FlagWord()
    {
        const std::string b = DiskBytes(1, kFlagAt, 4);
        return static_cast<unsigned char>(b[0]) | static_cast<unsigned char>(b[1]) << 8 |
               static_cast<unsigned char>(b[2]) << 16 | static_cast<unsigned>(static_cast<unsigned char>(b[3])) << 24;
    }
};

TEST_F(FirmwarePageQuit, AWindowManagersCloseDuringAnUpgradeWaitsForASafeDevice)
{
    LayApplianceTable(1);
    OpenPage();
    ClickUpgrade(MakeImage(), {1, 1});
    ASSERT_TRUE(page()->IsBusy());
    const AfterYes after = Quit([&] { window_->close(); });

    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1], (std::pair{Text("IDC_STRING_MAIN_EXIT_UPGRADE_SAFE"), kQuestion}));
    if (after.quitting) {
        EXPECT_TRUE(after.visible) << "the window went away while the job ran";
        EXPECT_EQ(after.notice, LanguageText("IDC_STRING_MAIN_EXIT_WAITING"));
    }
    ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }, 60000));
    EXPECT_FALSE(page()->IsBusy()) << "closed before the job ended";
    EXPECT_EQ(shown_.size(), 2u) << "no box after the quit";
    EXPECT_TRUE(FirmwareUntouched() || FirmwareWhole());
}

TEST_F(FirmwarePageQuit, EscapeDuringTheDiskPreparationLeavesTheFirmwareUnwritten)
{
    OpenPage();
    ClickUpgrade(MakeImage(), {1, 1, 1});
    ASSERT_TRUE(WaitFor([&] { return shown_.size() >= 2; }));  // the set-up starts as the second is answered
    const AfterYes after = Quit([&] { QTest::keyClick(page()->PathEdit(), Qt::Key_Escape); });

    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[2].first, Text("IDC_STRING_MAIN_EXIT_UPGRADE_SAFE"));
    EXPECT_TRUE(after.visible);
    EXPECT_TRUE(after.quitting);
    ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }, 60000));
    EXPECT_EQ(shown_.size(), 3u);
    EXPECT_TRUE(FirmwareUntouched());
    const std::string table = PartitionLines(1);
    EXPECT_TRUE(table.empty() || table == "1 : start=      131136, size=     1966016, type=82\n") << table;
}

// The device restart at the end holds the library for about 1.4 s in real
// time; the window must not wait for it.
TEST_F(FirmwarePageQuit, TheWindowKeepsPaintingThroughTheWholeUpgrade)
{
    OpenPage();
    machine::setSetting(m(), "time_scale", "1");
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(10);
    ClickUpgrade(MakeImage(), {1, 1, 1});
    ASSERT_TRUE(WaitForOutcome(3));
    EXPECT_TRUE(FirmwareWhole());
    EXPECT_LT(longestGap, 750) << "the window stood still for " << longestGap << " ms";
}

}  // namespace
