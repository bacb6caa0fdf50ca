// The disk setup page in the main window: entering it for the selected disk,
// the partition count, the checks before a format, a whole format read back
// from the disk image, a failing worker and closing during a format.
#include <sstream>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/pages/ChildParttionDlg.h"
#include "app/pages/DeviceFormatDlg.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/pages/ParttionSize.h"
#include "app/shell/MainDlg.h"
#include "app/ui/LanguageText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CBmpProgCtrl.h"
#include "app/widgets/CFlatEdit.h"
#include "app/widgets/CRadioBox.h"
#include "app/widgets/WindowMessage.h"
#include "app_fixture.h"
#include "kx/kx.h"

namespace {

using app_testing::AppMachine;
using app_testing::WaitFor;
using testing_support::fingerprintFile;
using testing_support::runCommand;

constexpr std::uint64_t kSectors = 8ull << 30 >> 9;  // the appliance disk
const QString kConfirm = QStringLiteral(
    "Are you sure you want to upgrade the selected devices? Upgrade devices will lose all data on the disk.");

struct Entry {
    std::uint64_t start = 0, size = 0;
    unsigned type = 0;
};

// What the operator saw when a box came up.
struct SeenBox {
    QString text;
    int type;
    int percent;
    int barPos;
};

class DiskSetupPageTest : public AppMachine {
protected:
    CDeviceFormatDlg& Page() { return *window_->DiskSetupPage(); }
    CChildParttionDlg& Panel() { return *Page().Panel(); }
    std::vector<int> Shown()
    {
        return {Panel().Field(1)->Value(), Panel().Field(2)->Value(), Panel().Field(3)->Value()};
    }
    void TypeFirstSize(const QString& text)
    {
        Panel().Field(1)->Edit()->setText(text);
        QTest::keyClick(Panel().Field(1)->Edit(), Qt::Key_Return);
    }
    // Every box is answered OK and kept with the progress it appeared over.
    void AnswerOkAndWatch()
    {
        SetMessageAnswerer([this](CMessageDlg& box) {
            seen_.push_back({box.MessageText(), box.MessageType(), Page().ProgressPercent(),
                             Page().ProgressBar()->GetPos()});
            return 1;
        });
    }
    int AddDisk(const std::string& vendor, std::uint64_t size)
    {
        machine::DiskOptions options;
        options.size = size;
        options.vendor = vendor;
        return machine::addDisk(m(), options);
    }
    void SelectSlot(int slot)
    {
        const std::string path = "\\Device\\Harddisk" + std::to_string(state()->disks.at(slot).number) + "\\Partition0";
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
            if (path == d->path) {
                SetSelectedDevice(d);
                return;
            }
        FAIL() << "no device " << path;
    }
    std::vector<Entry> Table(int slot)
    {
        std::string out;
        const std::string image = diskImage(slot).string();
        EXPECT_EQ(runCommand("sfdisk --dump " + image, &out), 0) << out;
        std::vector<Entry> entries;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            Entry e;
            if (line.rfind(image, 0) == 0 &&
                std::sscanf(line.c_str() + line.find("start="), "start= %lu, size= %lu, type=%x", &e.start, &e.size,
                            &e.type) == 3)
                entries.push_back(e);
        }
        return entries;
    }
    std::string Blkid(std::uint64_t sector, const std::string& field)
    {
        std::string out;
        runCommand("blkid -p -O " + std::to_string(sector * 512) + " -o value -s " + field + " " +
                       diskImage(1).string(),
                   &out);
        return out.substr(0, out.find('\n'));
    }
    bool Idle() { return !Page().IsBusy() && window_->ActivityState() == kActivityIdle; }
    // A format started at real time, so Windows takes its real time to show
    // the new table: the worker is still running when this returns.
    void StartRealTimeFormat()
    {
        OpenWindow();
        machine::setSetting(m(), "time_scale", "1");
        window_->OnDiskSetClicked();
        AnswerOkAndWatch();
        QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return Page().ProgressPercent() > 0; }));
    }
    std::vector<SeenBox> seen_;
};

TEST_F(DiskSetupPageTest, EnteringSplitsTheDiskInTwoAndTheRadiosResplitIt)
{
    OpenWindow();
    ASSERT_NE(GetSelectedDevice(), nullptr);
    window_->OnDiskSetClicked();

    EXPECT_TRUE(Page().isVisible());
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(Page().ProgressBar()->isVisible());
    EXPECT_EQ(Page().TotalSize(), 8192u - 1024);
    EXPECT_EQ(Page().PartCount(), 2);
    EXPECT_TRUE(Page().CountRadio(2)->GetCheck());
    EXPECT_EQ(Shown(), (std::vector<int>{3500, 3668, 0}));

    QTest::mouseClick(Page().CountRadio(3), Qt::LeftButton);
    EXPECT_EQ(Page().PartCount(), 3);
    EXPECT_TRUE(Page().CountRadio(3)->GetCheck());
    EXPECT_FALSE(Page().CountRadio(2)->GetCheck());
    EXPECT_EQ(Shown(), (std::vector<int>{2300, 2300, 2568}));

    QTest::mouseClick(Page().CountRadio(1), Qt::LeftButton);
    EXPECT_EQ(Shown(), (std::vector<int>{7168, 0, 0}));
    EXPECT_FALSE(Panel().Field(1)->Edit()->isEnabled());

    // Entering again starts from two halves.
    QTest::mouseClick(Page().CountRadio(2), Qt::LeftButton);
    TypeFirstSize(QStringLiteral("1000"));
    EXPECT_EQ(Shown(), (std::vector<int>{1000, 6168, 0}));
    window_->OnDiskSetClicked();
    EXPECT_EQ(Shown(), (std::vector<int>{3500, 3668, 0}));
    EXPECT_FALSE(Page().CountRadio(1)->GetCheck());
}

TEST_F(DiskSetupPageTest, NoFormatWithoutAnOkOrWithAPartitionOutside100MiBTo2TB)
{
    const int big = AddDisk("BIGV", 4100000ull << 20);
    const int small = AddDisk("SMALLV", (1024ull + 150) << 20);
    OpenWindow();
    std::vector<std::string> prints;
    for (int slot : {1, big, small})
        prints.push_back(fingerprintFile(diskImage(slot)));

    SelectSlot(1);
    window_->OnDiskSetClicked();
    AnswerBoxesWith(2);
    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kConfirm);
    EXPECT_EQ(boxes_[0].type, 3);
    EXPECT_TRUE(Idle());

    // Another box open: the question is not shown, which is no answer.
    AnswerBoxesWith(1);
    {
        CMessageDlg open(QStringLiteral("already here"), kMessageWarning);
        open.show();
        QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    }
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(Idle());

    // One partition of a 4,100,000 MiB disk is above 2 TB.
    SelectSlot(big);
    window_->OnDiskSetClicked();
    EXPECT_EQ(Page().TotalSize(), 4100000u - 1024);
    QTest::mouseClick(Page().CountRadio(1), Qt::LeftButton);
    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[2].text, QStringLiteral("The maximum capacity of a single partition must not exceed 2TB."));
    EXPECT_EQ(boxes_[2].type, 1);
    EXPECT_TRUE(Idle());

    // 150 MiB in two: the first half rounds down to nothing.
    SelectSlot(small);
    window_->OnDiskSetClicked();
    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    ASSERT_EQ(boxes_.size(), 5u);
    EXPECT_EQ(boxes_[4].text, QStringLiteral("Input value cannot be less than 100M."));
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(Page().FormatButton()->isEnabled());

    QTest::qWait(300);
    EXPECT_EQ(prints, (std::vector<std::string>{fingerprintFile(diskImage(1)), fingerprintFile(diskImage(big)),
                                                 fingerprintFile(diskImage(small))}));
}

TEST_F(DiskSetupPageTest, WholeFormatOfTwoPartitionsRunsTheBarToTheEnd)
{
    OpenWindow();
    window_->OnDiskSetClicked();
    TypeFirstSize(QStringLiteral("3000"));
    AnswerOkAndWatch();

    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    EXPECT_TRUE(Page().IsBusy());
    EXPECT_EQ(window_->ActivityState(), kActivityFormatting);
    EXPECT_FALSE(Page().BackButton()->isEnabled());
    EXPECT_TRUE(Page().ProgressBar()->isVisible());

    ASSERT_TRUE(WaitFor([&] { return seen_.size() >= 2; }, 120000));
    EXPECT_EQ(seen_[0].text, kConfirm);
    EXPECT_EQ(seen_[1].text, QStringLiteral("Formatted disk successfully."));
    EXPECT_EQ(seen_[1].type, 2);
    EXPECT_EQ(seen_[1].percent, 100);
    EXPECT_EQ(seen_[1].barPos, 100);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(Page().ProgressPercent(), 0);
    EXPECT_EQ(Page().ProgressBar()->GetPos(), 0);
    EXPECT_EQ(seen_.size(), 2u);

    const auto table = Table(1);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].type, 0x82u);
    EXPECT_EQ(table[1].type, 0x07u);
    EXPECT_NEAR(static_cast<double>(table[1].size) * 512, 3000.0 * (1 << 20), 1 << 20);
    EXPECT_EQ(table[2].start + table[2].size - 1, kSectors - 3);
    EXPECT_EQ(Blkid(table[1].start, "LABEL"), "Partition-1");
    EXPECT_EQ(Blkid(table[2].start, "LABEL"), "Partition-2");
    EXPECT_EQ(Blkid(table[2].start, "TYPE"), "ntfs");
}

TEST_F(DiskSetupPageTest, WorkerFailureIsShownAndThePageComesBackIdle)
{
    OpenWindow();
    machine::setSetting(m(), "format_service", "fails");
    window_->OnDiskSetClicked();
    AnswerOkAndWatch();

    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return seen_.size() >= 2; }, 120000));
    EXPECT_EQ(seen_[1].text, QStringLiteral("Fail to format partition. Please try again."));
    EXPECT_EQ(seen_[1].type, 1);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(Page().ProgressPercent(), 0);
    EXPECT_FALSE(Page().ProgressBar()->isVisible());
}

TEST_F(DiskSetupPageTest, DiskVanishingInTheFormatShowsTheFormatFailure)
{
    OpenWindow();
    // A few sectors into the first public partition, which only its format writes.
    machine::setDiskSetting(m(), 1, "vanish_at", std::to_string(2097215 + 16));
    window_->OnDiskSetClicked();
    AnswerOkAndWatch();

    QTest::mouseClick(Page().FormatButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return seen_.size() >= 2; }, 120000));
    EXPECT_EQ(seen_[1].text, QStringLiteral("The device was disconnected. Please plug it in again and start over."));
    EXPECT_EQ(seen_[1].type, 1);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_FALSE(state()->disks.at(1).present);
    EXPECT_EQ(seen_.size(), 2u);
}

TEST_F(DiskSetupPageTest, EachWorkerFailureCodeShowsItsOwnText)
{
    OpenWindow();
    window_->OnDiskSetClicked();
    AnswerOkAndWatch();
    const char* texts[] = {"Fail to obtain disk information. Please try again.",
                           "Fail to delete partition. Please try again.",
                           "Fail to create partition. Please unplug the device and plug in again.",
                           "Fail to format partition. Please try again.",
                           "The device is busy with another upgrade or disk setup. Please wait until it has finished, "
                           "then try again.",
                           "The device was disconnected. Please plug it in again and start over.",
                           ""};
    for (int code = 1; code <= 7; ++code)
        SendWindowMessage(&Page(), WM_FORMAT_ERROR, code, 0);
    ASSERT_EQ(seen_.size(), 7u);
    for (int code = 1; code <= 7; ++code) {
        EXPECT_EQ(seen_[code - 1].text, QString::fromUtf8(texts[code - 1])) << "code " << code;
        EXPECT_EQ(seen_[code - 1].type, 1);
    }
    EXPECT_TRUE(Idle());
}

TEST_F(DiskSetupPageTest, ClosingTheWindowDuringAFormatLetsTheFormatFinish)
{
    ASSERT_NO_FATAL_FAILURE(StartRealTimeFormat());

    // The worker still has messages to send; the page must not wait on it
    // while it waits on the page.
    window_.reset();

    EXPECT_EQ(seen_.size(), 1u);
    const auto table = Table(1);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(Blkid(table[2].start, "LABEL"), "Partition-2");
}

TEST_F(DiskSetupPageTest, QuittingDuringAFormatKeepsTheWindowUntilTheFormatIsDone)
{
    ASSERT_NO_FATAL_FAILURE(StartRealTimeFormat());

    QTest::keyClick(window_.get(), Qt::Key_Escape);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[1].text, LanguageText("IDC_STRING_MAIN_EXIT_FORMAT_SAFE"));
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->IsQuitting());
    QTest::keyClick(window_.get(), Qt::Key_Escape);  // asked once only
    EXPECT_EQ(seen_.size(), 2u);

    ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }, 60000));
    EXPECT_FALSE(Page().IsBusy());
    EXPECT_EQ(seen_.size(), 2u) << "no success box for a window that is going";
    const auto table = Table(1);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(Blkid(table[2].start, "LABEL"), "Partition-2");
}

}  // namespace
