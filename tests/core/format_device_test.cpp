// The format worker on an emulated machine: the table and volumes it leaves
// on the appliance disk (read back with sfdisk and blkid), the messages it
// sends or posts, and where it stops when a step fails.
#include <mutex>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/disksetup/FormatDevice.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "core_test_files.h"
#include "kx/kx.h"

namespace {

using namespace core_test;

constexpr std::uint64_t kSectors = 8ull * 1024 * 1024 * 1024 / 512;  // the fresh machine's 8 GiB disk
constexpr std::uint64_t kSurplusAt = 1024, kSurplusSize = 15360;

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool sent;  // else posted
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << "{0x" << std::hex << m.message << std::dec << ", " << m.wParam << ", " << m.lParam << ", "
               << (m.sent ? "sent" : "posted") << "}";
}

const Message kStarted{0x483, 1, 0, true}, kFormatting{0x483, 2, 0, true}, kDoneSent{0x483, 3, 0, true},
    kDonePosted{0x483, 3, 0, false};
Message Error(std::uintptr_t code, std::intptr_t n = 0) { return {0x482, code, n, true}; }

class RecordingWindow : public WorkerNotify {
public:
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        Add({message, wParam, lParam, false});
    }
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        Add({message, wParam, lParam, true});
    }
    std::vector<Message> Messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    void Add(const Message& m)
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(m);
    }
    std::mutex mutex_;
    std::vector<Message> messages_;
};

struct Entry {
    int number;
    std::uint64_t start, size;
    unsigned type;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e)
{
    return out << "#" << e.number << " " << e.start << "+" << e.size << " type " << std::hex << e.type << std::dec;
}

class FormatWorkerTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        work_ = dir_.parent_path();
        const fs::path templates = m().driveC() / "ProgramData/Microsoft/Windows/Templates";
        fs::create_directories(templates);
        ASSERT_TRUE(fs::exists(testing_support::buildDir() + "/cmddev")) << "build the cmddev target first";
        fs::copy_file(testing_support::buildDir() + "/cmddev", templates / "cmddev.exe");
        fs::permissions(templates / "cmddev.exe", fs::perms::owner_exec, fs::perm_options::add);
        fs::create_directories(work_ / "logs");
        CComnLog::GetInstance().Init(true, Wide(work_ / "logs"));
    }
    void TearDown() override
    {
        SetSelectedDevice(nullptr);
        if (started_) {
            kx_dev_destroy();
            kx_soft_exit();
        }
        CComnLog::GetInstance().Init(false, u"");
        TempMachine::TearDown();
    }

    // The library started on the disk as the test laid it, the appliance
    // disk selected.
    void StartLibrary()
    {
        ASSERT_EQ(kx_soft_init(), 1);
        started_ = true;
        ASSERT_EQ(kx_dev_probe(), 1);
        kx_device* device = kx_dev_get(nullptr, 0, 0);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(std::string(device->path), DevPath());
        SetSelectedDevice(device);
    }
    // An old table of three partitions, to see the worker delete it.
    void LayOldTable()
    {
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=409600, type=c\\nstart=411648, size=409600, type=7\\n"
                               "start=821248, size=409600, type=83\\n");
    }

    std::vector<Message> Run(int count, FormatSizes sizes, int formatFlag)
    {
        CFormatDevice worker(ProcessSelection());
        worker.SetNotifyWindow(&window_);
        worker.SetFormatParam(count, sizes, formatFlag);
        worker.BeginFormat();
        worker.Wait();
        return window_.Messages();
    }

    std::string DevPath()
    {
        return "\\Device\\Harddisk" + std::to_string(state()->disks.at(1).number) + "\\Partition0";
    }
    std::vector<Entry> Table()
    {
        std::string out;
        EXPECT_EQ(testing_support::runCommand("sfdisk --dump " + diskImage(1).string(), &out), 0) << out;
        std::vector<Entry> entries;
        const std::string image = diskImage(1).string();
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(image, 0) != 0)
                continue;
            Entry e{std::stoi(line.substr(image.size())), 0, 0, 0};
            std::sscanf(line.c_str() + line.find("start="), "start= %lu, size= %lu, type=%x", &e.start, &e.size,
                        &e.type);
            entries.push_back(e);
        }
        return entries;
    }
    // A field of blkid's probe of the volume at a sector.
    std::string Blkid(std::uint64_t sector, const std::string& field)
    {
        std::string out;
        testing_support::runCommand("blkid -p -O " + std::to_string(sector * 512) + " -o value -s " + field + " " +
                                        diskImage(1).string(),
                                    &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
    std::string LogText() { return ComnLogText(); }

    fs::path work_;
    RecordingWindow window_;
    bool started_ = false;
};

TEST_F(FormatWorkerTest, OnePublicPartitionTakesTheRestAndIsFormattedPartitionOne)
{
    LayOldTable();
    StartLibrary();

    EXPECT_EQ(Run(1, {}, 1), (std::vector<Message>{kStarted, kFormatting, kDoneSent}));

    EXPECT_EQ(Table(), (std::vector<Entry>{{1, 131136, 2097152 - 131136, 0x82},
                                           {2, 2097215, kSectors - 2 - 2097215 + 1, 0x07}}));
    EXPECT_EQ(Blkid(2097215, "TYPE"), "ntfs");
    EXPECT_EQ(Blkid(2097215, "LABEL"), "Partition-1");
    EXPECT_EQ(Blkid(131136, "TYPE"), "") << "the system partition was formatted";
    EXPECT_EQ(std::string(GetSelectedDevice()->path), DevPath());
}

TEST_F(FormatWorkerTest, ThreePublicPartitionsGetTheirSizesAndNumberedLabels)
{
    StartLibrary();

    EXPECT_EQ(Run(3, {100, 200, 999999}, 1), (std::vector<Message>{kStarted, kFormatting, kDoneSent}));

    // 100 and 200 MiB, less the table's alignment; the last one ends three
    // sectors before the disk's last sector, whatever size 3 said.
    const auto table = Table();
    ASSERT_EQ(table.size(), 4u) << testing::PrintToString(table);
    EXPECT_EQ(table[1], (Entry{2, 2097215, 204736, 0x07}));
    EXPECT_EQ(table[2], (Entry{3, 2302014, 409536, 0x07}));
    EXPECT_EQ(table[3].start + table[3].size - 1, kSectors - 4);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(Blkid(table[static_cast<size_t>(n)].start, "LABEL"), "Partition-" + std::to_string(n));
        EXPECT_EQ(Blkid(table[static_cast<size_t>(n)].start, "TYPE"), "ntfs");
    }
}

TEST_F(FormatWorkerTest, NoPublicPartitionsAndNoFormatLeavesTheSystemPartitionAloneAndPostsDone)
{
    LayOldTable();
    const fs::path disk = diskImage(1);
    // Sector 1 and what follows the gptsurplus region are not the worker's.
    const std::string sector1 = RandomBytes(512, 1), after = RandomBytes(4096, 2), surplus = RandomBytes(15360, 3);
    WriteHostRange(disk, 512, sector1);
    WriteHostRange(disk, kSurplusAt, surplus);
    WriteHostRange(disk, kSurplusAt + kSurplusSize, after);
    // Where a public partition would start: a format would overwrite it.
    const std::string data = RandomBytes(65536, 4);
    WriteHostRange(disk, 2097215ull * 512, data);
    StartLibrary();

    EXPECT_EQ(Run(0, {}, 0), (std::vector<Message>{kStarted, kDonePosted}));

    EXPECT_EQ(Table(), (std::vector<Entry>{{1, 131136, 2097152 - 131136, 0x82}}));
    EXPECT_EQ(ReadHostRange(disk, kSurplusAt, kSurplusSize), std::string(kSurplusSize, '\0'));
    EXPECT_EQ(ReadHostRange(disk, 512, 512), sector1);
    EXPECT_EQ(ReadHostRange(disk, kSurplusAt + kSurplusSize, 4096), after);
    EXPECT_EQ(ReadHostRange(disk, 2097215ull * 512, data.size()), data);
    // What the firmware upgrade asks of a set-up disk.
    EXPECT_GE(kx_dev_is_need_format(DevPath().c_str()), 2);
}

// A quit asked when the run starts stops it before it writes; asked once
// the disk is being changed, the run finishes and formats every partition.
TEST_F(FormatWorkerTest, AQuitBeforeTheFirstWriteStopsTheRunAndOneAfterLetsItFinish)
{
    LayOldTable();
    StartLibrary();
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    struct QuittingWindow : RecordingWindow {
        CFormatDevice* worker = nullptr;
        FormatStage quitAt{};
        std::optional<bool> stopping;
        void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
        {
            RecordingWindow::send(message, wParam, lParam);
            if (message == 0x483 && static_cast<FormatStage>(wParam) == quitAt)
                stopping = worker->RequestStop();
        }
    };
    for (FormatStage quitAt : {FormatStage::Started, FormatStage::Partitioned}) {
        CFormatDevice worker(ProcessSelection());
        QuittingWindow window;
        window.worker = &worker;
        window.quitAt = quitAt;
        worker.SetNotifyWindow(&window);
        worker.SetFormatParam(2, {300, 0, 0}, 1);
        worker.BeginFormat();
        worker.Wait();
        // The stop answers whether the disk is left as it was.
        EXPECT_EQ(window.stopping, std::optional<bool>(quitAt == FormatStage::Started));
        if (quitAt == FormatStage::Started) {
            EXPECT_EQ(window.Messages(), (std::vector<Message>{kStarted, Error(CodeOf(FormatError::Quit))}));
            EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
        } else {
            EXPECT_EQ(window.Messages(), (std::vector<Message>{kStarted, kFormatting, kDoneSent}));
        }
    }
    const auto table = Table();
    ASSERT_EQ(table.size(), 3u);
    for (size_t n = 1; n <= 2; ++n)
        EXPECT_EQ(Blkid(table[n].start, "LABEL"), "Partition-" + std::to_string(n));
}

TEST_F(FormatWorkerTest, FailingGptSurplusWriteStopsBeforeAnyPartitionIsTouched)
{
    LayOldTable();
    const auto table = Table();
    StartLibrary();
    machine::setDiskSetting(m(), 1, "fail_write_at", "2");
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const std::uint64_t arrival = state()->disks.at(1).arrival;

    EXPECT_EQ(Run(1, {}, 1), (std::vector<Message>{kStarted, Error(2)}));

    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
    EXPECT_EQ(Table(), table);
    EXPECT_EQ(state()->disks.at(1).arrival, arrival) << "restarted";
    EXPECT_TRUE(std::regex_search(LogText(), std::regex("CFormatDevice::ClearGPTSurplusInfo : [0-9]+ write GPT "
                                                        "SURPLUS error - 29\r?\n")))
        << LogText();
}

TEST_F(FormatWorkerTest, TableThatNeverReachedTheDiskFailsTheRunThoughTheRestartFindsTheDevice)
{
    LayOldTable();
    StartLibrary();
    // The delete's write of sector 0 passes, the new table's fails.
    machine::setDiskSetting(m(), 1, "fail_write_at", "0");
    machine::setDiskSetting(m(), 1, "fault_skip_writes", "1");
    const std::uint64_t arrival = state()->disks.at(1).arrival;

    EXPECT_EQ(Run(1, {}, 1), (std::vector<Message>{kStarted, Error(3)}));

    EXPECT_GT(state()->disks.at(1).arrival, arrival) << "the restart was not tried";
    EXPECT_EQ(Table(), std::vector<Entry>{});
    EXPECT_TRUE(std::regex_search(LogText(), std::regex("the new table is not on the disk! primary:0")))
        << LogText();
}

TEST_F(FormatWorkerTest, FailedFormatReportsItsPartitionNumberAndFormatsNoFurther)
{
    StartLibrary();
    machine::setSetting(m(), "format_service", "fails");

    EXPECT_EQ(Run(2, {1000, 0, 0}, 1), (std::vector<Message>{kStarted, kFormatting, Error(4, 1)}));

    const auto table = Table();
    ASSERT_EQ(table.size(), 3u) << testing::PrintToString(table);
    EXPECT_EQ(table[2].start + table[2].size - 1, kSectors - 3);
    EXPECT_NE(Blkid(table[2].start, "LABEL"), "Partition-2");
}

TEST_F(FormatWorkerTest, RunsThatCannotStartTouchNothing)
{
    LayOldTable();
    StartLibrary();
    const std::string before = testing_support::fingerprintFile(diskImage(1));

    // Public sizes that leave the last partition nothing.
    EXPECT_EQ(Run(2, {7168, 0, 0}, 1), (std::vector<Message>{kStarted, Error(3)}));
    EXPECT_EQ(Run(4, {}, 1).back(), Error(3));
    SetSelectedDevice(nullptr);
    EXPECT_EQ(Run(0, {}, 0).back(), Error(1));

    // The gptsurplus region was zeroed already (it was) and nothing else.
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
    EXPECT_EQ(Table().size(), 3u);
}

TEST_F(FormatWorkerTest, TableNotShownInTimeIsPickedUpByRestartingTheDevice)
{
    StartLibrary();
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "3600000");
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    const std::string oldPath = DevPath();
    const std::uint64_t arrival = state()->disks.at(1).arrival;

    EXPECT_EQ(Run(0, {}, 0), (std::vector<Message>{kStarted, kDonePosted}));

    EXPECT_GT(state()->disks.at(1).arrival, arrival) << "not restarted";
    ASSERT_NE(DevPath(), oldPath);
    ASSERT_NE(GetSelectedDevice(), nullptr);
    EXPECT_EQ(std::string(GetSelectedDevice()->path), DevPath());
    EXPECT_EQ(Table(), (std::vector<Entry>{{1, 131136, 2097152 - 131136, 0x82}}));
}

TEST_F(FormatWorkerTest, DeviceLostOnItsRestartFailsTheRunAndClearsTheSelection)
{
    StartLibrary();
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "3600000");
    machine::setDiskSetting(m(), 1, "restart_returns", "false");

    EXPECT_EQ(Run(1, {}, 1), (std::vector<Message>{kStarted, Error(3)}));
    EXPECT_EQ(GetSelectedDevice(), nullptr);
}

}  // namespace
