// Every write of a disk setup failing, and the disk vanishing at it: the
// format worker ends with the one WM_FORMAT_ERROR its step reports and the
// command line with exit 1 and that step's words; nothing is written after
// the struck write and no other disk is touched.
#include "app/core/disksetup/FormatDevice.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "core/core_test_files.h"
#include "kx/kx.h"
#include "worker_outcome.h"

namespace {

using namespace faults;

constexpr unsigned kFormatError = 0x482, kFormatProgress = 0x483;
constexpr std::uint64_t kSurplusFirst = 2, kSurplusEnd = 32;

// Public partitions of the runs: 300 MiB and the rest.
constexpr int kPublic = 2;
const FormatSizes kSizes{300, 0, 0};

enum class Piece { Surplus, Delete, Create, Format1, Format2 };
enum class Front { Worker, Cli };
const char* const kPieceNames[] = {"Surplus", "Delete", "Create", "Format1", "Format2"};

struct Case {
    Piece piece;
    Fault fault;
    Front front;
};

std::string NameOf(const Case& c)
{
    return std::string(c.front == Front::Worker ? "Worker" : "Cli") + kPieceNames[static_cast<int>(c.piece)] +
           (c.fault == Fault::Fails ? "WriteFails" : "DiskVanishes");
}
std::string CaseName(const testing::TestParamInfo<Case>& info) { return NameOf(info.param); }
void PrintTo(const Case& c, std::ostream* out) { *out << NameOf(c); }

// The error a failure in each piece ends with, and the command line's words;
// a disk gone in a format is named as gone.
Message ErrorOf(Piece piece, Fault fault)
{
    const int format = fault == Fault::Vanishes ? 6 : 4;
    switch (piece) {
    case Piece::Surplus:
    case Piece::Delete: return {kFormatError, 2, 0};
    case Piece::Create: return {kFormatError, 3, 0};
    case Piece::Format1: return {kFormatError, static_cast<std::uintptr_t>(format), 1};
    case Piece::Format2: return {kFormatError, static_cast<std::uintptr_t>(format), 2};
    }
    return {};
}

std::string WordsOf(Piece piece, Fault fault)
{
    if (fault == Fault::Vanishes && (piece == Piece::Format1 || piece == Piece::Format2)) {
        const std::string n = piece == Piece::Format1 ? "1" : "2";
        return "setting the disk up failed: the disk went away while public partition " + n + " (Partition-" + n +
               ") was being formatted";
    }
    switch (piece) {
    case Piece::Surplus:
    case Piece::Delete: return "setting the disk up failed: the gptsurplus region could not be zeroed or the old "
                               "partitions could not be deleted";
    case Piece::Create: return "setting the disk up failed: the partitions could not be created";
    case Piece::Format1: return "setting the disk up failed: formatting public partition 1 (Partition-1) failed";
    case Piece::Format2: return "setting the disk up failed: formatting public partition 2 (Partition-2) failed";
    }
    return {};
}

class SetupFaults : public FaultMachine {
protected:
    void SetUp() override
    {
        FaultMachine::SetUp();
        // An old table with a logical partition, so the delete has a chain to walk.
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=409600, type=c\\nstart=411648, size=1048576, type=5\\n"
                               "start=413696, size=204800, type=7\\n");
        SaveDisk();
        StartApplication();
    }
    void TearDown() override
    {
        StopApplication();
        FaultMachine::TearDown();
    }

    kx_device* SelectDisk()
    {
        EXPECT_EQ(kx_dev_probe(), 1);
        const std::string devpath = DevPath();
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
            if (d->path && devpath == d->path) {
                SetSelectedDevice(d);
                return d;
            }
        ADD_FAILURE() << "no device " << devpath;
        return nullptr;
    }

    // The format worker on disk 1, as the disk setup page starts it.
    std::vector<Message> RunWorker()
    {
        SelectDisk();
        WorkerOutcome outcome;
        {
            CFormatDevice worker(ProcessSelection());
            worker.SetNotifyWindow(&outcome);
            worker.SetFormatParam(kPublic, kSizes, 1);
            worker.BeginFormat();
            outcome.WaitForEnd([](const Message& m) {
                return m.message == kFormatError || (m.message == kFormatProgress && m.wParam == 3);
            });
            worker.Wait();
        }
        SetSelectedDevice(nullptr);
        return outcome.WaitForEnd([](const Message&) { return true; });
    }
    ToolRun RunCli() { return Orvane({"setup", "--partitions", "2", "--sizes", "300", "--yes", "--device", DevPath()}); }

    // Pieces of a clean run's writes: the gptsurplus region, the delete's
    // writes (as many as a delete alone makes), then the new table, then the
    // format copies by the public partition they land in.
    std::vector<Piece> Pieces(const std::vector<Write>& writes, size_t deletes)
    {
        const auto parts = state()->disks.at(1).partitions;
        std::vector<Piece> pieces;
        size_t tableWrites = 0;
        for (const auto& w : writes) {
            if (w.origin == "format") {
                Piece piece = Piece::Surplus;  // no partition: caught below
                for (const auto& p : parts)
                    if (w.sector >= p.offset / 512 && w.sector < (p.offset + p.length) / 512)
                        piece = p.number == 2 ? Piece::Format1 : p.number == 3 ? Piece::Format2 : piece;
                EXPECT_NE(piece, Piece::Surplus) << "format write outside the public partitions: " << w;
                pieces.push_back(piece);
            } else if (w.sector >= kSurplusFirst && w.sector + w.sectors <= kSurplusEnd) {
                pieces.push_back(Piece::Surplus);
            } else {
                pieces.push_back(tableWrites++ < deletes ? Piece::Delete : Piece::Create);
            }
        }
        return pieces;
    }

    // The writes of the clean run and of a delete of the old table alone.
    struct Clean {
        std::vector<Write> writes;
        std::vector<Piece> pieces;
    };
    Clean CleanRun(Front front)
    {
        kx_disk* disk = kx_disk_get(SelectDisk()->path);
        EXPECT_NE(disk, nullptr);
        EXPECT_EQ(kx_part_delete_all(disk), 1);
        const size_t deletes = Writes().size();
        RestoreDisk();

        if (front == Front::Worker) {
            EXPECT_EQ(RunWorker().back(), (Message{kFormatProgress, 3, 0}));
        } else {
            const ToolRun run = RunCli();
            EXPECT_EQ(run.code, 0) << run.out << run.err;
        }
        Clean clean{Writes(), {}};
        clean.pieces = Pieces(clean.writes, deletes);
        RestoreDisk();
        return clean;
    }
};

TEST_F(SetupFaults, EveryWriteLiesInTheTableTheSurplusRegionOrAPublicPartition)
{
    const Clean clean = CleanRun(Front::Worker);
    int counts[5] = {};
    for (Piece p : clean.pieces)
        ++counts[static_cast<int>(p)];
    for (int i = 0; i < 5; ++i)
        EXPECT_GT(counts[i], 0) << kPieceNames[i];
    for (size_t i = 0; i < clean.writes.size(); ++i) {
        if (clean.pieces[i] == Piece::Delete || clean.pieces[i] == Piece::Create) {
            EXPECT_EQ(clean.writes[i].sectors, 1u) << "a table write of more than its sector: " << clean.writes[i];
        }
    }
    std::printf("disk setup writes: %zu (gptsurplus %d, delete %d, create %d, format 1 %d, format 2 %d)\n",
                clean.writes.size(), counts[0], counts[1], counts[2], counts[3], counts[4]);
    RecordProperty("writes", static_cast<int>(clean.writes.size()));
}

class SetupWriteFaults : public SetupFaults, public testing::WithParamInterface<Case> {};

TEST_P(SetupWriteFaults, EndsWithTheStepsErrorAndWritesNothingFurther)
{
    const Case c = GetParam();
    const Clean clean = CleanRun(c.front);
    std::vector<size_t> piece;
    for (size_t i = 0; i < clean.pieces.size(); ++i)
        if (clean.pieces[i] == c.piece)
            piece.push_back(i);
    ASSERT_FALSE(piece.empty());

    for (size_t index : Picks(piece, c.front == Front::Worker)) {
        SCOPED_TRACE("write " + std::to_string(index) + " " + testing::PrintToString(clean.writes[index]) + " " +
                     FaultName(c.fault));
        Arm(c.fault, clean.writes, index);
        if (c.front == Front::Worker) {
            const auto messages = RunWorker();
            EXPECT_EQ(messages.back(), ErrorOf(c.piece, c.fault)) << testing::PrintToString(messages);
            int ends = 0;
            for (const auto& m : messages)
                ends += m.message == kFormatError || (m.message == kFormatProgress && m.wParam == 3);
            EXPECT_EQ(ends, 1) << testing::PrintToString(messages);
        } else {
            const ToolRun run = RunCli();
            EXPECT_EQ(run.code, 1) << run.out << run.err;
            EXPECT_NE(run.err.find(WordsOf(c.piece, c.fault)), std::string::npos) << WordsOf(c.piece, c.fault) << "\n"
                                                                                   << run.err;
            EXPECT_EQ(run.out.find("Disk set up"), std::string::npos) << run.out;
        }
        ExpectStruckAt(clean.writes, index);
        EXPECT_EQ(state()->disks.at(1).present, c.fault == Fault::Fails);
        RestoreDisk();
    }
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (Front front : {Front::Worker, Front::Cli})
        for (Piece piece : {Piece::Surplus, Piece::Delete, Piece::Create, Piece::Format1, Piece::Format2})
            for (Fault fault : {Fault::Fails, Fault::Vanishes})
                cases.push_back({piece, fault, front});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Writes, SetupWriteFaults, testing::ValuesIn(AllCases()), CaseName);

}  // namespace
