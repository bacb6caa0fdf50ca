// Upgrades run from the firmware page on the emulated appliance disk, read
// back from the disk image: set-up first for a blank disk, the outcomes of
// bad images, failed writes, a failed set-up and declined questions.
#include "firmware_page_fixture.h"
#include "support/foreign_job_lock.h"

namespace {

using namespace firmware_page;

constexpr char kConfirm[] = "IDC_STRING_UPGRADE_CONFIRM_WARMING";
constexpr char kWipeConfirm[] = "IDC_STRING_FORMAT_CONFIRM_WARMING";
constexpr char kChecksum[] = "IDC_STRING_UPGRADE_UPGRADE_FILE_CHEKC_ERROR";
constexpr std::uint64_t kSector = 512;

class FirmwarePageUpgrade : public FirmwarePageTest {};

TEST_F(FirmwarePageUpgrade, BlankDiskIsSetUpThenUpgradedAndThePageGoesBackToTheSearch)
{
    OpenPage();
    ClickUpgrade(MakeImage());
    ASSERT_TRUE(WaitForOutcome(3));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion},
                             {Text(kWipeConfirm), kQuestion},
                             {"The device upgraded successfully.", kNotice}}));
    // The main window knew the page was busy until the outcome.
    EXPECT_EQ(activityAtBox_, (std::vector<int>{2, 2, 1}));
    EXPECT_TRUE(window_->SearchPage()->isVisible());
    EXPECT_FALSE(page()->isVisible());

    // Only the system partition is left, and the firmware is in place.
    EXPECT_EQ(PartitionLines(1), "1 : start=      131136, size=     1966016, type=82\n");
    EXPECT_TRUE(DiskBytes(1, kKernelAt, image_.kernel.size()) == image_.kernel) << "kernel region";
    EXPECT_TRUE(DiskBytes(1, kRootfsAt, image_.rootfs.size()) == image_.rootfs) << "rootfs region";
    EXPECT_EQ(DiskBytes(1, kFlagAt, 4), std::string("\x0b\0\0\0", 4));
    EXPECT_NE(GetSelectedDevice(), nullptr) << "the device came back after its restart";
}

TEST_F(FirmwarePageUpgrade, BadImageNeverCostsABlankDiskItsPartitions)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n");
    OpenPage();
    const std::string print = DiskPrint(1);
    ClickUpgrade(MakeBadImage());
    ASSERT_TRUE(WaitForOutcome(2));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text(kChecksum), kError}}));
    EXPECT_EQ(DiskPrint(1), print);
    EXPECT_TRUE(page()->isVisible());
}

TEST_F(FirmwarePageUpgrade, BadImageOnASetUpDiskIsRefusedBeforeAnythingIsWritten)
{
    LayApplianceTable(1);
    OpenPage();
    const std::string print = DiskPrint(1);
    ClickUpgrade(MakeBadImage());
    ASSERT_TRUE(WaitForOutcome(2));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text(kChecksum), kError}}));
    EXPECT_EQ(DiskPrint(1), print);
}

TEST_F(FirmwarePageUpgrade, FailedWriteShowsTheGeneralFailureAndThePageStays)
{
    LayApplianceTable(1);
    m().update([](machine::State& s) { machine::diskBySlot(s, 1).faults.failWriteAt = kRootfsAt / kSector + 8; });
    OpenPage();
    ClickUpgrade(MakeImage());
    ASSERT_TRUE(WaitForOutcome(2));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text("IDC_STRING_UPGRADE_UPGRADE_ERROR"), kError}}));
    EXPECT_TRUE(page()->isVisible());
    EXPECT_TRUE(page()->UpgradeButton()->isEnabled());
    EXPECT_EQ(DiskBytes(1, kFlagAt, 4), std::string(4, '\0')) << "no flags for a half-written firmware";
}

TEST_F(FirmwarePageUpgrade, ADiskAnotherProgramHoldsShowsTheBusyBoxAndIsLeftAlone)
{
    LayApplianceTable(1);
    testing_support::ForeignJobLock foreign(m(), 1, "an upgrade started by process 4242");
    ASSERT_TRUE(foreign.held());
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    OpenPage();
    ClickUpgrade(MakeImage());
    ASSERT_TRUE(WaitForOutcome(2));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text("IDC_STRING_DISK_BUSY"), kError}}));
    EXPECT_TRUE(page()->UpgradeButton()->isEnabled());
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

TEST_F(FirmwarePageUpgrade, DiskVanishingInTheMiddleOfTheWriteShowsTheFailure)
{
    LayApplianceTable(1);
    m().update([](machine::State& s) { machine::diskBySlot(s, 1).faults.vanishAt = kRootfsAt / kSector + 8; });
    OpenPage();
    ClickUpgrade(MakeImage());
    ASSERT_TRUE(WaitForOutcome(2));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text("IDC_STRING_UPGRADE_UPGRADE_ERROR"), kError}}));
    EXPECT_FALSE(state()->disks.at(1).present);
    EXPECT_EQ(DiskBytes(1, kFlagAt, 4), std::string(4, '\0')) << "no flags for a half-written firmware";
    EXPECT_TRUE(WaitFor([&] { return window_->ActivityState() == 1; }));
}

TEST_F(FirmwarePageUpgrade, FailedSetUpShowsItsErrorAndNothingIsUpgraded)
{
    // The gptsurplus region cannot be cleared.
    m().update([](machine::State& s) { machine::diskBySlot(s, 1).faults.failWriteAt = 4; });
    OpenPage();
    ClickUpgrade(MakeImage());
    ASSERT_TRUE(WaitForOutcome(3));

    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion},
                             {Text(kWipeConfirm), kQuestion},
                             {Text("IDC_STRING_FORMAT_FORMAT_ERROR_2"), kError}}));
    QTest::qWait(300);
    EXPECT_EQ(shown_.size(), 3u) << "no upgrade after a failed set-up";
    EXPECT_EQ(DiskBytes(1, kKernelAt, 512), std::string(512, '\0'));
    EXPECT_EQ(window_->ActivityState(), 1);
}

TEST_F(FirmwarePageUpgrade, DecliningEitherQuestionLeavesTheDiskAlone)
{
    OpenPage();
    const fs::path image = MakeImage();
    const std::string print = DiskPrint(1);

    ClickUpgrade(image, {2});
    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}}));
    EXPECT_FALSE(page()->IsBusy());

    shown_.clear();
    ClickUpgrade(image, {1, 2});
    // The image is checked on the worker before the second question.
    ASSERT_TRUE(WaitForOutcome(2));
    EXPECT_EQ(shown_, (Boxes{{Text(kConfirm), kQuestion}, {Text(kWipeConfirm), kQuestion}}));
    EXPECT_FALSE(page()->IsBusy());
    EXPECT_EQ(window_->ActivityState(), 1);

    QTest::qWait(300);
    EXPECT_EQ(shown_.size(), 2u);
    EXPECT_EQ(DiskPrint(1), print);
}

TEST_F(FirmwarePageUpgrade, ClosingWhileTheDiskIsSetUpWaitsForTheSetUpAndUpgradesNothing)
{
    OpenPage();
    ClickUpgrade(MakeImage());
    // The second question is answered where the set-up starts.
    ASSERT_TRUE(WaitFor([&] { return shown_.size() >= 2; }));
    ASSERT_TRUE(page()->IsBusy());
    // The set-up worker is about to send its first stage to the page.
    window_.reset();

    EXPECT_EQ(PartitionLines(1), "1 : start=      131136, size=     1966016, type=82\n");
    EXPECT_EQ(DiskBytes(1, kFlagAt, 4), std::string(4, '\0'));
}

}  // namespace
