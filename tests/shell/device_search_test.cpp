// The device search page on machines with several disks: labels, order,
// the left-out system disk, selection and the refresh on device changes.
#include <QLabel>

#include "app/core/jobs/SelectedDevice.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/shell/MainDlg.h"
#include "app/widgets/CKelvarComboBox.h"
#include "app/widgets/WindowMessage.h"
#include "app_fixture.h"
#include "platform/machine.h"

namespace {

using app_testing::AppMachine;
using app_testing::WaitFor;
using testing_support::buildDir;
using testing_support::runCommand;

class DeviceSearchTest : public AppMachine {
protected:
    int AddDisk(const std::string& vendor, const std::string& product)
    {
        machine::DiskOptions options;
        options.size = 256ull << 20;
        options.vendor = vendor;
        options.product = product;
        return machine::addDisk(m(), options);
    }
    // One NTFS-typed partition, so Windows gives it a letter.
    void GiveLetter(int slot) { partitionWithSfdisk(slot, "label: dos\\nstart=2048, size=100000, type=7\\n"); }

    QStringList ComboItems(const CKelvarComboBox* combo) const
    {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }

};

TEST_F(DeviceSearchTest, ListsUsbDisksByNameAndLetterInSortedOrderAndSelectsTheFirst)
{
    // Found in slot order: the appliance disk (blank), then B on D:, then A
    // on E:. Both carry the same layout, so only their disks tell them apart.
    const int b = AddDisk("BVEND", "B-Disk");
    const int a = AddDisk("AVEND", "A-Disk");
    GiveLetter(b);
    GiveLetter(a);
    OpenWindow();

    const CKelvarComboBox* combo = window_->SearchPage()->DeviceCombo();
    const QStringList items = ComboItems(combo);
    ASSERT_EQ(items.size(), 3) << items.join('|').toStdString();
    EXPECT_EQ(items[0], QStringLiteral("AVEND A-Disk USB Device - Drives(E:)"));
    EXPECT_EQ(items[1], QStringLiteral("BVEND B-Disk USB Device - Drives(D:)"));
    // The blank disk has no partition and is listed by its bare name.
    EXPECT_EQ(items[2], QStringLiteral("ORVANE Appliance Disk USB Device"));
    EXPECT_EQ(combo->currentIndex(), 0);

    // The page's own list keeps the library's order; the selection follows the label.
    const auto& list = window_->SearchPage()->DeviceList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].label, items[1]);
    ASSERT_NE(GetSelectedDevice(), nullptr);
    EXPECT_EQ(QString::fromUtf8(GetSelectedDevice()->path), list[2].path);
    EXPECT_TRUE(window_->SearchPage()->isVisible());
    EXPECT_EQ(window_->ActivityState(), 1);
}

TEST_F(DeviceSearchTest, DiskHoldingWindowsIsLeftOut)
{
    // A system disk on USB (as a portable Windows would be): its first
    // partition is C:, which occurs in C:\Windows.
    m().update([](machine::State& s) { machine::diskBySlot(s, 0).usb = true; });
    rescan(0);
    OpenWindow();
    const QStringList items = ComboItems(window_->SearchPage()->DeviceCombo());
    ASSERT_EQ(items.size(), 1) << items.join('|').toStdString();
    EXPECT_EQ(items[0], QStringLiteral("ORVANE Appliance Disk USB Device"));
}

TEST_F(DeviceSearchTest, NoDevicesLeavesTheListEmptyAndNothingSelected)
{
    machine::unplug(m(), 1);
    OpenWindow();
    EXPECT_EQ(window_->SearchPage()->DeviceCombo()->count(), 0);
    EXPECT_EQ(GetSelectedDevice(), nullptr);
}

TEST_F(DeviceSearchTest, UnplugWhileIdleRefreshesTheList)
{
    const int extra = AddDisk("XVEND", "X-Disk");
    OpenWindow();
    const CKelvarComboBox* combo = window_->SearchPage()->DeviceCombo();
    ASSERT_EQ(combo->count(), 2);
    const int probes = window_->SearchPage()->ProbesDone();

    std::string out;
    ASSERT_EQ(runCommand(buildDir() + "/orvane-machine --machine " + dir_.string() + " unplug " +
                             std::to_string(extra), &out), 0) << out;
    ASSERT_TRUE(WaitFor([&] { return window_->SearchPage()->ProbesDone() > probes && combo->count() == 1; }))
        << "count " << combo->count();
    EXPECT_EQ(combo->itemText(0), QStringLiteral("ORVANE Appliance Disk USB Device"));
}

TEST_F(DeviceSearchTest, DeviceChangeDuringAJobChangesNothing)
{
    OpenWindow();
    const int probes = window_->SearchPage()->ProbesDone();
    // An upgrade is running: the page locked the buttons and reported state 2.
    SendWindowMessage(window_.get(), 0x498, 3, 2);
    machine::unplug(m(), 1);
    QTest::qWait(1500);
    EXPECT_EQ(window_->SearchPage()->ProbesDone(), probes);
    EXPECT_EQ(window_->SearchPage()->DeviceCombo()->count(), 1);
}

}  // namespace
