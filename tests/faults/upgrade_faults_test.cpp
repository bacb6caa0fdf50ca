// Every write of a firmware upgrade failing, and the disk vanishing at it:
// the worker ends with the write's error code and the command line with
// exit 1 and the stage and reason in words; nothing is written after the
// struck write, nothing outside the firmware regions, no other disk.
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "core/core_test_files.h"
#include "kx/kx.h"
#include "worker_outcome.h"

namespace {

using namespace faults;

constexpr std::uint64_t kKernelSector = 0x24400 / 512, kKernelSectors = 0x400000 / 512;
constexpr std::uint64_t kFlagSector = 0x424400 / 512;
constexpr std::uint64_t kRootfsSector = 0x824400 / 512, kRootfsSectors = 0x2000000 / 512;

enum class Piece { Kernel, Rootfs, Flags, Elsewhere };
enum class Front { Worker, Cli };

Piece PieceOf(const Write& w)
{
    auto inside = [&](std::uint64_t first, std::uint64_t count) {
        return w.origin == "io" && w.sector >= first && w.sector + w.sectors <= first + count;
    };
    return inside(kKernelSector, kKernelSectors) ? Piece::Kernel
           : inside(kRootfsSector, kRootfsSectors) ? Piece::Rootfs
           : inside(kFlagSector, 1)                ? Piece::Flags
                                                   : Piece::Elsewhere;
}

struct Case {
    Piece piece;
    Fault fault;
    Front front;
};

std::string NameOf(const Case& c)
{
    static const char* const pieces[] = {"Kernel", "Rootfs", "Flags", "Elsewhere"};
    return std::string(c.front == Front::Worker ? "Worker" : "Cli") + pieces[static_cast<int>(c.piece)] +
           (c.fault == Fault::Fails ? "WriteFails" : "DiskVanishes");
}
std::string CaseName(const testing::TestParamInfo<Case>& info) { return NameOf(info.param); }
void PrintTo(const Case& c, std::ostream* out) { *out << NameOf(c); }

class UpgradeFaults : public FaultMachine {
protected:
    void SetUp() override
    {
        FaultMachine::SetUp();
        LayDisk();
        image_ = Work() / "windows.bin";
        core_test::FirmwareImage firmware;
        firmware.kernel = core_test::RandomBytes(1024 * 1024 + 1536, 2);
        firmware.rootfs = core_test::RandomBytes(9 * 1024 * 1024 + 512, 3);
        firmware.Write(image_);
        SaveDisk();
        StartApplication();
    }
    void TearDown() override
    {
        StopApplication();
        FaultMachine::TearDown();
    }

    virtual void LayDisk() { LayApplianceTable(); }

    // The upgrade worker on disk 1, as the firmware page starts it.
    int RunWorker()
    {
        EXPECT_EQ(kx_dev_probe(), 1);
        const std::string devpath = DevPath();
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
            if (d->path && devpath == d->path)
                SetSelectedDevice(d);
        WorkerOutcome outcome;
        CUpgradeHandleThread worker(ProcessSelection());
        worker.SetWindow(&outcome);
        worker.SetJob(WorkerOperation::Upgrade, core_test::Wide(image_), std::u16string(devpath.begin(), devpath.end()));
        worker.Start();
        const auto messages = outcome.WaitForEnd([](const Message& m) { return m.message == 0x497; });
        worker.Wait();
        EXPECT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
        EXPECT_EQ(messages.back().wParam, 2u);
        SetSelectedDevice(nullptr);
        return static_cast<int>(messages.back().lParam);
    }
    ToolRun RunCli() { return Orvane({"upgrade", image_.string(), "--yes", "--device", DevPath()}); }

    // A clean upgrade's writes; the disk is put back afterwards.
    std::vector<Write> CleanWrites(Front front)
    {
        if (front == Front::Worker) {
            EXPECT_EQ(RunWorker(), 0);
        } else {
            const ToolRun run = RunCli();
            EXPECT_EQ(run.code, 0) << run.out << run.err;
        }
        const auto writes = Writes();
        RestoreDisk();
        return writes;
    }

    fs::path image_;
};

TEST_F(UpgradeFaults, EveryWriteLiesInAFirmwareRegionOrTheFlagSector)
{
    const auto writes = CleanWrites(Front::Worker);
    int counts[4] = {};
    for (const auto& w : writes)
        ++counts[static_cast<int>(PieceOf(w))];
    EXPECT_EQ(counts[static_cast<int>(Piece::Elsewhere)], 0) << testing::PrintToString(writes);
    for (Piece p : {Piece::Kernel, Piece::Rootfs, Piece::Flags})
        EXPECT_GT(counts[static_cast<int>(p)], 0);
    std::printf("upgrade writes: %zu (kernel %d, rootfs %d, flags %d)\n", writes.size(), counts[0], counts[1],
                counts[2]);
    RecordProperty("writes", static_cast<int>(writes.size()));
}

class UpgradeWriteFaults : public UpgradeFaults, public testing::WithParamInterface<Case> {};

TEST_P(UpgradeWriteFaults, EndsWithTheWriteErrorAndWritesNothingFurther)
{
    const Case c = GetParam();
    const auto clean = CleanWrites(c.front);
    std::vector<size_t> piece;
    for (size_t i = 0; i < clean.size(); ++i)
        if (PieceOf(clean[i]) == c.piece)
            piece.push_back(i);
    ASSERT_FALSE(piece.empty());
    const int code = c.fault == Fault::Fails ? 29 : 1167;  // ERROR_WRITE_FAULT, ERROR_DEVICE_NOT_CONNECTED
    const char* stage = c.piece == Piece::Kernel ? "writing kernel" : c.piece == Piece::Rootfs ? "writing rootfs"
                                                                                                : "setting upgrade flags";
    const char* reason = c.fault == Fault::Fails ? "the disk reported a write fault" : "the disk is not connected";

    for (size_t index : Picks(piece, c.front == Front::Worker)) {
        SCOPED_TRACE("write " + std::to_string(index) + " " + testing::PrintToString(clean[index]) + " " +
                     FaultName(c.fault));
        const std::uint64_t arrival = state()->disks.at(1).arrival;
        Arm(c.fault, clean, index);
        if (c.front == Front::Worker) {
            EXPECT_EQ(RunWorker(), code);
        } else {
            const ToolRun run = RunCli();
            EXPECT_EQ(run.code, 1) << run.out << run.err;
            const std::string words = "Result " + std::to_string(code) + ": " + stage + " failed: " + reason;
            EXPECT_NE(run.out.find(words), std::string::npos) << words << "\n" << run.out << run.err;
            EXPECT_EQ(run.out.find("done"), std::string::npos) << run.out;
        }
        ExpectStruckAt(clean, index);
        const auto disk = state()->disks.at(1);
        EXPECT_EQ(disk.present, c.fault == Fault::Fails);
        if (c.fault == Fault::Fails) {
            EXPECT_EQ(disk.arrival, arrival) << "restarted after a failed upgrade";
        }
        RestoreDisk();
    }
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (Front front : {Front::Worker, Front::Cli})
        for (Piece piece : {Piece::Kernel, Piece::Rootfs, Piece::Flags})
            for (Fault fault : {Fault::Fails, Fault::Vanishes})
                cases.push_back({piece, fault, front});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Writes, UpgradeWriteFaults, testing::ValuesIn(AllCases()), CaseName);

// A disk not set up yet is first given its system partition: a fault there
// stops the upgrade before any firmware is written.
class BlankDiskUpgradeFaults : public UpgradeFaults, public testing::WithParamInterface<Fault> {
protected:
    void LayDisk() override { partitionWithSfdisk(1, "label: dos\\nstart=2048, size=409600, type=c\\n"); }
};

TEST_P(BlankDiskUpgradeFaults, SetUpWriteFaultStopsBeforeTheFirmware)
{
    const auto clean = CleanWrites(Front::Cli);
    std::vector<size_t> preparation;
    for (size_t i = 0; i < clean.size() && PieceOf(clean[i]) == Piece::Elsewhere; ++i)
        preparation.push_back(i);
    ASSERT_FALSE(preparation.empty());
    std::printf("set-up writes before the upgrade of a blank disk: %zu\n", preparation.size());

    for (size_t index : preparation) {
        SCOPED_TRACE("write " + std::to_string(index) + " " + testing::PrintToString(clean[index]) + " " +
                     FaultName(GetParam()));
        Arm(GetParam(), clean, index);
        const ToolRun run = RunCli();
        EXPECT_EQ(run.code, 1) << run.out << run.err;
        EXPECT_NE(run.err.find("orvane: setting the disk up failed: "), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Result"), std::string::npos) << "the upgrade ran: " << run.out;
        ExpectStruckAt(clean, index);
        EXPECT_EQ(state()->disks.at(1).present, GetParam() == Fault::Fails);
        RestoreDisk();
    }
}

std::string FaultCaseName(const testing::TestParamInfo<Fault>& info)
{
    return info.param == Fault::Fails ? "WriteFails" : "DiskVanishes";
}

INSTANTIATE_TEST_SUITE_P(Writes, BlankDiskUpgradeFaults, testing::Values(Fault::Fails, Fault::Vanishes),
                         FaultCaseName);

}  // namespace
