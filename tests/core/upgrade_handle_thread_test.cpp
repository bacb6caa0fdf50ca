// The upgrade worker on an emulated machine: what it leaves on the disk, in
// the templates folder and in the selected device, and what it posts.
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <regex>
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/disksetup/FormatDevice.h"
#include "app/core/firmware/ByteBuffer.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/jobs/DiskJobLock.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "core_test_files.h"
#include "kx/kx.h"
#include "support/foreign_job_lock.h"

namespace {

using namespace core_test;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kKernelAt = 0x24400, kKernelSize = 0x400000;
constexpr std::uint64_t kFlagAt = 0x424400, kFlagSize = 512;
constexpr std::uint64_t kRootfsAt = 0x824400, kRootfsSize = 0x2000000;
constexpr int kWriteFault = 29;  // ERROR_WRITE_FAULT, what the machine's fault gives

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << "{0x" << std::hex << m.message << std::dec << ", " << m.wParam << ", " << m.lParam << "}";
}

// Stands for the page window: keeps what the worker posts.
class RecordingWindow : public WorkerNotify {
public:
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
    }
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override { post(message, wParam, lParam); }

    std::vector<Message> Messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::vector<Message> messages_;
};

class RecordingProgress : public UpgradeProgress {
public:
    void stageStarted(UpgradeStage stage) override
    {
        std::lock_guard lock(mutex_);
        stages_.push_back(stage);
        if (throwAt_ && *throwAt_ == stage)
            throw std::runtime_error("progress output failed");
    }
    std::vector<UpgradeStage> Stages()
    {
        std::lock_guard lock(mutex_);
        return stages_;
    }
    std::optional<UpgradeStage> throwAt_;

private:
    std::mutex mutex_;
    std::vector<UpgradeStage> stages_;
};

// The little-endian flag word at the start of the flag sector.
std::uint32_t Word(const std::string& bytes)
{
    std::uint32_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = word << 8 | static_cast<std::uint8_t>(bytes[static_cast<size_t>(i)]);
    return word;
}

class UpgradeWorkerTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        work_ = dir_.parent_path();
        templates_ = m().driveC() / "ProgramData/Microsoft/Windows/Templates";
        fs::create_directories(templates_);
        const fs::path tool = templates_ / "cmddev.exe";
        ASSERT_TRUE(fs::exists(testing_support::buildDir() + "/cmddev")) << "build the cmddev target first";
        fs::copy_file(testing_support::buildDir() + "/cmddev", tool, fs::copy_options::overwrite_existing);
        fs::permissions(tool, fs::perms::owner_exec, fs::perm_options::add);

        fs::create_directories(work_ / "logs");
        CComnLog::GetInstance().Init(true, Wide(work_ / "logs"));

        ASSERT_EQ(kx_soft_init(), 1);
        ASSERT_EQ(kx_dev_probe(), 1);
        kx_device* device = kx_dev_get(nullptr, 0, 0);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(std::string(device->path), DevPath());
        SetSelectedDevice(device);

        image_ = work_ / "windows.bin";
        firmware_.boot = RandomBytes(4096, 1);
        firmware_.kernel = RandomBytes(kMiB + 1536, 2);
        firmware_.rootfs = RandomBytes(9 * kMiB + 512, 3);
        firmware_.Write(image_);
    }
    void TearDown() override
    {
        SetSelectedDevice(nullptr);
        kx_dev_destroy();
        kx_soft_exit();
        CComnLog::GetInstance().Init(false, u"");
        TempMachine::TearDown();
    }

    std::string DevPath() { return "\\Device\\Harddisk" + std::to_string(state()->disks.at(1).number) + "\\Partition0"; }
    std::string Disk(std::uint64_t offset, std::uint64_t count) { return ReadHostRange(diskImage(1), offset, count); }
    std::uint64_t Arrival() { return state()->disks.at(1).arrival; }
    std::string LogText() { return ComnLogText(); }
    bool Logged(const std::string& function, const std::string& text)
    {
        const std::regex line("CUpgradeHandleThread::" + function + " : [0-9]+ " + text + "\r?\n");
        return std::regex_search(LogText(), line);
    }

    // Old contents around and inside the ranges the upgrade writes; returns
    // the print of what lies outside them.
    std::string FillDisk()
    {
        const fs::path disk = diskImage(1);
        WriteHostRange(disk, 512, RandomBytes(kKernelAt - 512, 10));
        WriteHostRange(disk, kFlagAt + kFlagSize, RandomBytes(64 * 1024, 13));
        WriteHostRange(disk, kRootfsAt - 4096, RandomBytes(4096, 14));
        WriteHostRange(disk, kRootfsAt + kRootfsSize, RandomBytes(kMiB, 15));
        WriteHostRange(disk, 4ull << 30, RandomBytes(4096, 16));
        const std::string outside = testing_support::fingerprintFile(disk);

        WriteHostRange(disk, kKernelAt + 3 * kMiB, RandomBytes(64 * 1024, 11));
        std::string flags = RandomBytes(kFlagSize, 12);
        flags.replace(0, 4, std::string("\x04\x00\x00\x80", 4));  // bit 2 and a bit no region owns
        WriteHostRange(disk, kFlagAt, flags);
        for (int piece = 0; piece < 4; ++piece)
            WriteHostRange(disk, kRootfsAt + piece * 8 * kMiB + 5 * kMiB, RandomBytes(4096, 20 + piece));
        return outside;
    }
    // Blanks the written ranges (zeros print as holes), so the print shows
    // only the rest of the disk. Destroys the regions: call last.
    std::string PrintOutsideRegions()
    {
        const fs::path disk = diskImage(1);
        WriteHostRange(disk, kKernelAt, std::string(kKernelSize, '\0'));
        WriteHostRange(disk, kFlagAt, std::string(kFlagSize, '\0'));
        WriteHostRange(disk, kRootfsAt, std::string(kRootfsSize, '\0'));
        return testing_support::fingerprintFile(disk);
    }

    // Runs one upgrade on the worker's thread; returns all posted so far.
    std::vector<Message> RunUpgrade(const fs::path& image, const std::string& devPath)
    {
        CUpgradeHandleThread worker(ProcessSelection());
        worker.SetWindow(&window_);
        worker.SetProgress(progressFor_ ? progressFor_ : &progress_);
        worker.SetJob(WorkerOperation::Upgrade, Wide(image), std::u16string(devPath.begin(), devPath.end()));
        worker.Start();
        worker.Wait();
        return window_.Messages();
    }
    std::vector<Message> RunUpgrade() { return RunUpgrade(image_, DevPath()); }
    void SetProgressFor(UpgradeProgress& progress) { progressFor_ = &progress; }

    fs::path work_, templates_, image_;
    FirmwareImage firmware_;
    RecordingWindow window_;
    RecordingProgress progress_;
    UpgradeProgress* progressFor_ = nullptr;
};

std::string Padded(const std::string& bytes, std::uint64_t size)
{
    return bytes + std::string(size - bytes.size(), '\0');
}

TEST_F(UpgradeWorkerTest, UpgradeWritesBothRegionsSetsTheFlagsAndFollowsTheRestartedDisk)
{
    const std::string outside = FillDisk();
    const std::string flagsBefore = Disk(kFlagAt, kFlagSize);
    const std::uint64_t arrival = Arrival();
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    const std::string oldPath = DevPath();

    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 0}}));

    EXPECT_TRUE(Disk(kKernelAt, kKernelSize) == Padded(firmware_.kernel, kKernelSize)) << "kernel region";
    EXPECT_TRUE(Disk(kRootfsAt, kRootfsSize) == Padded(firmware_.rootfs, kRootfsSize)) << "rootfs region";
    const std::string flags = Disk(kFlagAt, kFlagSize);
    EXPECT_EQ(Word(flags), 0x8000000Fu);
    EXPECT_EQ(flags.substr(4), flagsBefore.substr(4));
    EXPECT_EQ(ReadHostFile(templates_ / "kernel"), firmware_.kernel);
    EXPECT_EQ(ReadHostFile(templates_ / "rootfs"), firmware_.rootfs);

    // The device came back under a new number; the selected device is the
    // handle the search after the restart found.
    EXPECT_GT(Arrival(), arrival) << "the device was not restarted";
    ASSERT_NE(DevPath(), oldPath);
    kx_device* selected = GetSelectedDevice();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(std::string(selected->path), DevPath());
    EXPECT_EQ(selected, kx_dev_get(nullptr, 0, 0)) << "not a handle of the list after the restart";

    EXPECT_EQ(progress_.Stages(),
              (std::vector<UpgradeStage>{UpgradeStage::Verifying, UpgradeStage::Extracting,
                                         UpgradeStage::WritingKernel, UpgradeStage::WritingRootfs,
                                         UpgradeStage::Checking, UpgradeStage::MarkingFlags,
                                         UpgradeStage::Restarting}));
    EXPECT_TRUE(Logged("UpgradeDeviceInThread", "Device upgrade success!"));
    EXPECT_EQ(PrintOutsideRegions(), outside) << "bytes outside the regions and the flag sector changed";
    EXPECT_EQ(CachedBufferBytes(), 0u) << "the region buffers outlive the upgrade";
}

TEST_F(UpgradeWorkerTest, ImageThatFailsVerificationWritesNothing)
{
    FillDisk();
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const std::uint64_t arrival = Arrival();
    kx_device* selected = GetSelectedDevice();

    std::string bytes = ReadHostFile(image_);
    bytes.back() ^= 1;  // last rootfs byte
    WriteHostFile(work_ / "bad.bin", bytes);
    EXPECT_EQ(RunUpgrade(work_ / "bad.bin", DevPath()), (std::vector<Message>{{0x497, 2, 1000}}));
    EXPECT_EQ(RunUpgrade(work_ / "missing.bin", DevPath()).back(), (Message{0x497, 2, 1000}));

    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
    EXPECT_FALSE(fs::exists(templates_ / "kernel"));
    EXPECT_EQ(Arrival(), arrival);
    EXPECT_EQ(GetSelectedDevice(), selected);
    EXPECT_EQ(progress_.Stages(), std::vector<UpgradeStage>(2, UpgradeStage::Verifying));
    EXPECT_TRUE(Logged("UpgradeDeviceInThread", "handle Upgrade file fail!"));
}

TEST_F(UpgradeWorkerTest, WriteFaultInsideRootfsStopsBeforeTheFlags)
{
    FillDisk();
    const std::string flagsBefore = Disk(kFlagAt, kFlagSize);
    const std::string lastPieces = Disk(kRootfsAt + 16 * kMiB, 16 * kMiB);
    const std::uint64_t arrival = Arrival();
    kx_device* selected = GetSelectedDevice();
    // A sector in the third of the four 8 MiB pieces.
    machine::setDiskSetting(m(), 1, "fail_write_at", std::to_string((kRootfsAt + 16 * kMiB) / 512 + 100));

    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, kWriteFault}}));

    EXPECT_TRUE(Disk(kKernelAt, kKernelSize) == Padded(firmware_.kernel, kKernelSize)) << "kernel not rewritten";
    EXPECT_TRUE(Disk(kRootfsAt, 16 * kMiB) == Padded(firmware_.rootfs, 16 * kMiB)) << "first pieces not written";
    EXPECT_TRUE(Disk(kRootfsAt + 16 * kMiB, 16 * kMiB) == lastPieces) << "written past the failed piece";
    EXPECT_EQ(Disk(kFlagAt, kFlagSize), flagsBefore);
    EXPECT_EQ(Arrival(), arrival) << "restarted after a failure";
    EXPECT_EQ(GetSelectedDevice(), selected);
    EXPECT_EQ(progress_.Stages().back(), UpgradeStage::WritingRootfs);
    EXPECT_TRUE(Logged("UpgradeDeviceInfo", "write rootfs error - 29"));
    EXPECT_TRUE(Logged("UpgradeDeviceInThread", "Write Upgrade file fail!"));
}

TEST_F(UpgradeWorkerTest, DiskThatDoesNotComeBackLeavesNoSelectedDeviceButTheUpgradeSucceeded)
{
    machine::setDiskSetting(m(), 1, "restart_returns", "false");

    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 0}}));

    EXPECT_EQ(GetSelectedDevice(), nullptr);
    EXPECT_EQ(Word(Disk(kFlagAt, kFlagSize)), 0x0000000Bu);
    EXPECT_TRUE(Disk(kRootfsAt, kRootfsSize) == Padded(firmware_.rootfs, kRootfsSize));
}

TEST_F(UpgradeWorkerTest, SystemDiskIsRefusedBeforeAnythingIsOpened)
{
    // Tear-down fails the test if disk 0 changed.
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    kx_device* selected = GetSelectedDevice();

    EXPECT_EQ(RunUpgrade(image_, "\\Device\\Harddisk0\\Partition0"), (std::vector<Message>{{0x497, 2, 1}}));

    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
    EXPECT_EQ(GetSelectedDevice(), selected);
    EXPECT_TRUE(Logged("UpgradeDeviceInfo", "write kennel error - 1"));
}

// A job of another program holds the disk: the upgrade and the disk setup
// stop before they read or write it, saying the disk is busy.
TEST_F(UpgradeWorkerTest, ADiskAnotherJobHoldsIsLeftAlone)
{
    auto foreign = std::make_unique<testing_support::ForeignJobLock>(m(), 1,
                                                                      DiskJobDescription(DiskJobKind::Setup, 4242));
    ASSERT_TRUE(foreign->held());
    const std::string before = testing_support::fingerprintFile(diskImage(1));

    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, CodeOf(UpgradeResult::DiskBusy)}}));
    EXPECT_TRUE(Logged("UpgradeDeviceInThread", "disk not taken! disk 1 is busy: a disk setup started by process 4242"));
    RecordingWindow setupWindow;
    CFormatDevice setup(ProcessSelection());
    setup.SetNotifyWindow(&setupWindow);
    setup.SetFormatParam(1, {}, 1);
    setup.BeginFormat();
    setup.Wait();
    EXPECT_EQ(setupWindow.Messages().back(), (Message{WM_FORMAT_ERROR, CodeOf(FormatError::DiskBusy), 0}));
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);

    foreign.reset();
    EXPECT_EQ(RunUpgrade().back(), (Message{0x497, 2, CodeOf(UpgradeResult::Succeeded)})) << "the holder has let go";
}

TEST_F(UpgradeWorkerTest, ScratchFilesGoToTheTemplatesFolderOrNowhere)
{
    const std::u16string folder = u"C:\\ProgramData\\Microsoft\\Windows\\Templates";
    EXPECT_EQ(CUpgradeHandleThread::GetUpgradeFilePath(), folder);
    EXPECT_EQ(CUpgradeHandleThread::GetUpgradeFilePath(UPGRADE_TYPE_LOADER), folder + u"\\loader");
    EXPECT_EQ(CUpgradeHandleThread::GetUpgradeFilePath(UPGRADE_TYPE_MBR), folder + u"\\mbr");
    EXPECT_EQ(CUpgradeHandleThread::GetUpgradeFilePath(UPGRADE_TYPE_GPTSURPLUS), folder);

    // Without the folder nothing is extracted, not even to a drive's root.
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    fs::remove_all(templates_);
    EXPECT_EQ(CUpgradeHandleThread::GetUpgradeFilePath(UPGRADE_TYPE_KERNEL), u"");
    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 2}}));
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

// Stands for another job's writes at a stage of this one.
class MeddlingProgress : public UpgradeProgress {
public:
    std::function<void(UpgradeStage)> meddle;
    void stageStarted(UpgradeStage stage) override { meddle(stage); }
};

// Another job rewriting the templates folder's kernel and rootfs while this
// one runs changes nothing of it; a region that does not hold the image's
// bytes fails the check even when every extracted file agrees with it.
TEST_F(UpgradeWorkerTest, OtherJobsFilesNeverReachTheDiskAndTheCheckTrustsOnlyTheImage)
{
    MeddlingProgress meddling;
    meddling.meddle = [&](UpgradeStage stage) {
        if (stage == UpgradeStage::WritingKernel)
            for (const char* name : {"kernel", "rootfs"})
                std::ofstream(templates_ / name, std::ios::binary) << RandomBytes(2 * kMiB, 40);
    };
    SetProgressFor(meddling);
    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 0}}));
    EXPECT_EQ(Disk(kKernelAt, kKernelSize), Padded(firmware_.kernel, kKernelSize));
    EXPECT_EQ(Disk(kRootfsAt, 9 * kMiB + 512), firmware_.rootfs);
    // The named files hold this job's parts at its end, and nothing else is left.
    EXPECT_EQ(ReadHostRange(templates_ / "kernel", 0, firmware_.kernel.size() + 1), firmware_.kernel);
    for (const auto& entry : fs::directory_iterator(templates_))
        EXPECT_EQ(entry.path().filename().string().find(".job"), std::string::npos) << entry.path();

    meddling.meddle = [&](UpgradeStage stage) {
        if (stage != UpgradeStage::Checking)
            return;
        const std::string other = RandomBytes(4096, 41);
        WriteHostRange(diskImage(1), kKernelAt, other);
        for (const auto& entry : fs::directory_iterator(templates_))
            if (entry.path().filename().string().rfind("kernel", 0) == 0)
                WriteHostRange(entry.path(), 0, other);
    };
    EXPECT_EQ(RunUpgrade().back(), (Message{0x497, 2, 1})) << "the region differs from the image";
    EXPECT_EQ(Word(Disk(kFlagAt, kFlagSize)) & 0x4, 0u) << "no flags for a kernel that is not the image's";
}

// The image is read once: bytes changed after they were verified never
// reach the disk, and published files already holding the parts are left
// as they are while a different image replaces them.
TEST_F(UpgradeWorkerTest, TheVerifiedBytesAreWrittenAndUnchangedFilesAreNotRewritten)
{
    MeddlingProgress meddling;
    meddling.meddle = [&](UpgradeStage stage) {
        if (stage == UpgradeStage::Extracting)
            WriteHostRange(image_, fs::file_size(image_) - 4096, RandomBytes(4096, 42));
    };
    SetProgressFor(meddling);
    const std::string original = ReadHostFile(image_);
    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 0}}));
    EXPECT_EQ(Disk(kRootfsAt, 9 * kMiB + 512), firmware_.rootfs);
    EXPECT_EQ(ReadHostFile(templates_ / "rootfs"), firmware_.rootfs);

    WriteHostFile(image_, original);
    meddling.meddle = [](UpgradeStage) {};
    const auto inode = [&](const char* name) {
        struct stat st {};
        return ::stat((templates_ / name).c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const auto kernelFile = inode("kernel"), rootfsFile = inode("rootfs");
    EXPECT_EQ(RunUpgrade().back(), (Message{0x497, 2, 0}));
    EXPECT_EQ(inode("kernel"), kernelFile);
    EXPECT_EQ(inode("rootfs"), rootfsFile);

    firmware_.rootfs = RandomBytes(9 * kMiB + 512, 43);
    firmware_.Write(image_);
    EXPECT_EQ(RunUpgrade().back(), (Message{0x497, 2, 0}));
    EXPECT_EQ(inode("kernel"), kernelFile);
    EXPECT_EQ(ReadHostFile(templates_ / "rootfs"), firmware_.rootfs);
    EXPECT_EQ(Disk(kRootfsAt, 9 * kMiB + 512), firmware_.rootfs);
}

// A quit reaches the worker at a stage: before the first write the disk is
// left as it was; once writing began the upgrade runs to its end.
// The extracted files are written while the disk is: one that cannot be
// written fails the upgrade with its code before the flags are touched.
TEST_F(UpgradeWorkerTest, AnExtractedFileThatCannotBeWrittenFailsTheUpgradeBeforeTheFlags)
{
    FillDisk();
    const std::string flagsBefore = Disk(kFlagAt, kFlagSize);
    const std::uint64_t arrival = Arrival();
    MeddlingProgress meddling;
    meddling.meddle = [&](UpgradeStage stage) {
        if (stage == UpgradeStage::Extracting)
            fs::remove_all(templates_);
    };
    SetProgressFor(meddling);
    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, kKernelFileNotWritten}}));
    EXPECT_EQ(Disk(kFlagAt, kFlagSize), flagsBefore);
    EXPECT_EQ(Arrival(), arrival) << "restarted after a failure";
    EXPECT_TRUE(Logged("UpgradeDeviceInThread", "handle Upgrade file fail!"));
}

TEST_F(UpgradeWorkerTest, AQuitBeforeTheFirstWriteLeavesTheDiskAndOneAfterItFinishesTheUpgrade)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const std::string devPath = DevPath();
    for (UpgradeStage quitAt : {UpgradeStage::Verifying, UpgradeStage::Extracting, UpgradeStage::WritingKernel,
                                UpgradeStage::Checking}) {
        CUpgradeHandleThread worker(ProcessSelection());
        MeddlingProgress quitting;
        const bool beforeWriting = quitAt == UpgradeStage::Verifying || quitAt == UpgradeStage::Extracting;
        quitting.meddle = [&](UpgradeStage stage) {
            if (stage == quitAt) {
                EXPECT_EQ(worker.RequestStop(), beforeWriting) << static_cast<int>(stage);
                // Asked again, the answer holds.
                EXPECT_EQ(worker.RequestStop(), beforeWriting) << static_cast<int>(stage);
            }
        };
        worker.SetWindow(&window_);
        worker.SetProgress(&quitting);
        worker.SetJob(WorkerOperation::Upgrade, Wide(image_), std::u16string(devPath.begin(), devPath.end()));
        worker.Start();
        worker.Wait();
        EXPECT_EQ(worker.RequestStop(), beforeWriting) << "after the job, its stop still says what it did";
        if (quitAt == UpgradeStage::Extracting) {
            EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
        }
    }
    EXPECT_EQ(window_.Messages(), (std::vector<Message>{{0x497, 2, CodeOf(UpgradeResult::Quit)},
                                                        {0x497, 2, CodeOf(UpgradeResult::Quit)},
                                                        {0x497, 2, 0},
                                                        {0x497, 2, 0}}));
    EXPECT_TRUE(Disk(kKernelAt, kKernelSize) == Padded(firmware_.kernel, kKernelSize));
    EXPECT_EQ(Word(Disk(kFlagAt, kFlagSize)), 0x0000000Bu);
    EXPECT_TRUE(Logged("StopAsked", "upgrade stopped on quit before the first write: the device is as it was"));
    // A stop asked of one job does not reach the next.
    EXPECT_EQ(RunUpgrade().back(), (Message{0x497, 2, 0}));
}

TEST_F(UpgradeWorkerTest, FailingProgressOrWindowStopsNeitherTheUpgradeNorTheProcess)
{
    progress_.throwAt_ = UpgradeStage::WritingKernel;
    EXPECT_EQ(RunUpgrade(), (std::vector<Message>{{0x497, 2, 0}}));
    EXPECT_EQ(progress_.Stages().back(), UpgradeStage::Restarting);
    EXPECT_EQ(Word(Disk(kFlagAt, kFlagSize)), 0x0000000Bu);

    // An exception leaving the thread would end the process here.
    struct ThrowingWindow : WorkerNotify {
        void post(unsigned, std::uintptr_t, std::intptr_t) override { throw std::runtime_error("queue closed"); }
        void send(unsigned, std::uintptr_t, std::intptr_t) override { throw std::runtime_error("queue closed"); }
    } window;
    CUpgradeHandleThread worker(ProcessSelection());
    worker.SetWindow(&window);
    worker.SetOperation(WorkerOperation::Probe);
    worker.Start();
    worker.Wait();
}

TEST_F(UpgradeWorkerTest, ProbePostsOperationOneAfterTheLibraryProbedAgain)
{
    machine::DiskOptions options;
    options.serial = "SECOND";
    machine::addDisk(m(), options);
    int listed = 0;
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        ++listed;
    ASSERT_EQ(listed, 1);

    {
        CUpgradeHandleThread worker(ProcessSelection());
        worker.SetWindow(&window_);
        worker.SetOperation(WorkerOperation::Probe);
        worker.Start();
    }  // destruction waits for the job
    EXPECT_EQ(window_.Messages(), (std::vector<Message>{{0x497, 1, 0}}));
    listed = 0;
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        ++listed;
    EXPECT_EQ(listed, 2);
}

TEST_F(UpgradeWorkerTest, UnknownOperationPostsNothingAndSettingsAreTakenAtStart)
{
    CUpgradeHandleThread worker(ProcessSelection());
    worker.SetWindow(&window_);
    worker.SetOperation(static_cast<WorkerOperation>(7));
    worker.Start();
    worker.Wait();
    EXPECT_TRUE(window_.Messages().empty());

    // Changing the job after Start does not reach the running one.
    worker.SetJob(WorkerOperation::Upgrade, Wide(work_ / "missing.bin"), u"\\Device\\Harddisk0\\Partition0");
    worker.Start();
    worker.SetJob(WorkerOperation::Probe, u"", u"");
    worker.Wait();
    EXPECT_EQ(window_.Messages(), (std::vector<Message>{{0x497, 2, 1000}}));
}

}  // namespace
