// DOS names live in their own journal: other processes (here, other Machine
// objects on the same folder) must see every change, whole-state updates
// must not lose them, and rewrites, torn lines and damage must be handled.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <nlohmann/json.hpp>

#include "support/temp_machine.h"

namespace {

using machine::DosNameChanges;
using machine::DosNames;

class DosNameJournal : public testing_support::TempMachine {
protected:
    std::filesystem::path journal() const { return dir_ / "dos_devices.journal"; }

    // What a process that opens the machine now sees.
    DosNames namesSeenAfresh() { return machine::Machine::open(dir_)->read()->dosDevices; }

    static void define(machine::Machine& m, const std::string& name, const std::string& target)
    {
        m.updateDosNames([&](DosNameChanges& c) {
            c.define(name, target);
            return true;
        });
    }

    static bool remove(machine::Machine& m, const std::string& name, const std::string& target)
    {
        return m.updateDosNames([&](DosNameChanges& c) { return c.remove(name, target); });
    }

    nlohmann::json stateFile()
    {
        std::ifstream in(dir_ / "machine.json");
        return nlohmann::json::parse(in);
    }

    void appendToJournal(const std::string& bytes)
    {
        std::ofstream(journal(), std::ios::app | std::ios::binary) << bytes;
    }
};

TEST_F(DosNameJournal, ChangesReachOtherProcessesAndSurviveWholeStateUpdates)
{
    auto other = machine::Machine::open(dir_);
    EXPECT_TRUE(other->read()->dosDevices.empty());

    define(m(), "KELVAR7", "\\Device\\Harddisk1\\Partition0");
    define(m(), "KELVAR7", "\\Device\\Harddisk0\\Partition0");
    const DosNames stacked = {{"KELVAR7", {"\\Device\\Harddisk0\\Partition0", "\\Device\\Harddisk1\\Partition0"}}};
    EXPECT_EQ(other->read()->dosDevices, stacked);

    // A whole-state change elsewhere keeps the names and leaves them out of machine.json.
    machine::setSetting(*other, "time_scale", "0.5");
    EXPECT_EQ(m().read()->dosDevices, stacked);
    EXPECT_DOUBLE_EQ(m().read()->settings.timeScale, 0.5);
    EXPECT_TRUE(stateFile()["dos_devices"].empty());

    EXPECT_FALSE(remove(*other, "KELVAR7", "\\Device\\Harddisk2\\Partition0"));
    EXPECT_TRUE(remove(*other, "KELVAR7", "\\Device\\Harddisk0\\Partition0"));
    EXPECT_EQ(m().read()->dosDevices, (DosNames{{"KELVAR7", {"\\Device\\Harddisk1\\Partition0"}}}));
    EXPECT_TRUE(remove(m(), "KELVAR7", "\\Device\\Harddisk1\\Partition0"));
    EXPECT_TRUE(namesSeenAfresh().empty());

    // A whole-state change that edits names goes to the journal as well.
    m().update([](machine::State& s) { s.dosDevices["Q:"] = {"\\Device\\HarddiskVolume1"}; });
    EXPECT_EQ(namesSeenAfresh(), (DosNames{{"Q:", {"\\Device\\HarddiskVolume1"}}}));
    EXPECT_TRUE(stateFile()["dos_devices"].empty());
}

TEST_F(DosNameJournal, AMachineFromBeforeTheJournalKeepsItsNames)
{
    m().update([](machine::State&) {});
    auto doc = stateFile();
    doc["dos_devices"] = {{"OLD", {"\\Device\\Harddisk0\\Partition1"}}};
    std::ofstream(dir_ / "machine.json", std::ios::trunc) << doc.dump(2);
    ASSERT_FALSE(std::filesystem::exists(journal()));

    auto old = machine::Machine::open(dir_);
    EXPECT_EQ(old->read()->dosDevices, (DosNames{{"OLD", {"\\Device\\Harddisk0\\Partition1"}}}));
    EXPECT_EQ(*old->readDosNames(), old->read()->dosDevices);
    machine::setSetting(*old, "time_scale", "0.25");  // no name changed: they stay where they are
    EXPECT_FALSE(std::filesystem::exists(journal()));

    define(*old, "NEW", "\\Device\\Harddisk0\\Partition0");
    const DosNames both = {{"NEW", {"\\Device\\Harddisk0\\Partition0"}}, {"OLD", {"\\Device\\Harddisk0\\Partition1"}}};
    EXPECT_EQ(namesSeenAfresh(), both);
    machine::setSetting(*old, "time_scale", "0");
    EXPECT_TRUE(stateFile()["dos_devices"].empty());
    EXPECT_EQ(namesSeenAfresh(), both);
}

TEST_F(DosNameJournal, RewritesKeepTheJournalSmallAndReadersFollowThem)
{
    auto reader = machine::Machine::open(dir_);
    define(m(), "KEEP", "\\Device\\Harddisk1\\Partition0");
    define(m(), "KEEP", "\\Device\\Harddisk0\\Partition0");
    EXPECT_EQ(reader->read()->dosDevices.size(), 1u);  // the reader now knows the first journal

    std::uintmax_t largest = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string target = "\\Device\\Harddisk" + std::to_string(i % 64) + "\\Partition0";
        define(m(), "KELVAR42", target);
        ASSERT_TRUE(remove(m(), "KELVAR42", target));
        largest = std::max(largest, std::filesystem::file_size(journal()));
        if (i % 500 == 0) {
            EXPECT_EQ(reader->read()->dosDevices, m().read()->dosDevices) << i;
        }
    }
    EXPECT_LT(largest, 70u * 1024) << "the journal is rewritten once it has grown";
    define(m(), "LAST", "\\Device\\Harddisk1\\Partition0");
    const DosNames expected = {
        {"KEEP", {"\\Device\\Harddisk0\\Partition0", "\\Device\\Harddisk1\\Partition0"}},
        {"LAST", {"\\Device\\Harddisk1\\Partition0"}}};
    EXPECT_EQ(reader->read()->dosDevices, expected);
    EXPECT_EQ(namesSeenAfresh(), expected);
}

// Writers in several processes at once, with a reader that never locks:
// every read must parse, and in the end each writer's names are exactly
// what it left, across the rewrites its changes cause.
TEST_F(DosNameJournal, ProcessesChangingNamesAtOnceLoseNothing)
{
    constexpr int kWriters = 3, kTargets = 600;
    const auto target = [](int i) { return "\\Device\\Harddisk" + std::to_string(i) + "\\Partition0"; };
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                auto own = machine::Machine::open(dir_);
                const std::string name = "WRITER" + std::to_string(w);
                for (int i = 0; i < kTargets; ++i) {
                    define(*own, name, target(i));
                    if (i % 2 == 1 && !remove(*own, name, target(i)))
                        status = 2;
                }
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        writers.push_back(pid);
    }
    auto reader = machine::Machine::open(dir_);
    int running = kWriters, reads = 0;
    while (running > 0) {
        ASSERT_NO_THROW(reader->read()) << "after " << reads << " reads";
        ++reads;
        for (pid_t& pid : writers) {
            int status = 0;
            if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
                pid = 0;
                --running;
            }
        }
    }
    std::vector<std::string> left;  // the even targets, newest first
    for (int i = kTargets - 2; i >= 0; i -= 2)
        left.push_back(target(i));
    for (const auto& names : {reader->read()->dosDevices, namesSeenAfresh()})
        for (int w = 0; w < kWriters; ++w)
            EXPECT_EQ(names.at("WRITER" + std::to_string(w)), left) << w;
    EXPECT_LT(std::filesystem::file_size(journal()), 80u * 1024);
}

// The machine lock is taken through a descriptor the process keeps: a lock
// file removed and made again must be the one locked, or two processes
// would change the machine at once.
TEST_F(DosNameJournal, ALockFileMadeAgainIsTheOneLocked)
{
    auto own = machine::Machine::open(dir_);
    define(*own, "FIRST", "\\Device\\Harddisk1\\Partition0");
    std::filesystem::remove(dir_ / "machine.lock");
    const int other = ::open((dir_ / "machine.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    auto second = std::async(std::launch::async, [&] { define(*own, "SECOND", "\\Device\\Harddisk2\\Partition0"); });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the machine changed while another held its lock";
    ::flock(other, LOCK_UN);
    ::close(other);
    second.get();
    EXPECT_EQ(namesSeenAfresh().count("SECOND"), 1u);
}

// A reader keeps the journal open between reads and looks again only when
// the file at the path is another one or its size moved: a rewrite of the
// same size, and a torn line cut and replaced by one of its length, must
// both still be seen.
TEST_F(DosNameJournal, AReaderThatKeepsTheJournalOpenSeesSameSizeChanges)
{
    const std::string target = "\\Device\\Harddisk1\\Partition0";
    auto reader = machine::Machine::open(dir_);
    define(m(), "A", target);
    EXPECT_EQ(*reader->readDosNames(), (DosNames{{"A", {target}}}));
    const auto size = std::filesystem::file_size(journal());

    m().update([&](machine::State& s) { s.dosDevices = {{"B", {target}}}; });  // a rewrite
    ASSERT_EQ(std::filesystem::file_size(journal()), size);
    EXPECT_EQ(*reader->readDosNames(), (DosNames{{"B", {target}}}));

    const std::string line = "+\tC\t" + target + "\n";
    appendToJournal(line.substr(0, line.size() - 1) + "0");  // torn: a line's length, no newline
    EXPECT_EQ(*reader->readDosNames(), (DosNames{{"B", {target}}}));
    define(m(), "D", target);  // cuts the torn bytes and appends a line of the same length
    ASSERT_EQ(std::filesystem::file_size(journal()), size + line.size());
    EXPECT_EQ(*reader->readDosNames(), (DosNames{{"B", {target}}, {"D", {target}}}));
    EXPECT_EQ(reader->read()->dosDevices, *reader->readDosNames());
    EXPECT_TRUE(reader->readWithoutNames()->dosDevices.empty());
}

TEST_F(DosNameJournal, OddTargetsComeBackAsDefined)
{
    const std::string odd = "C:\\with\ttab\nnew line 100% \r\xC3\xA9";
    define(m(), "ODD", odd);
    EXPECT_EQ(namesSeenAfresh(), (DosNames{{"ODD", {odd}}}));
    EXPECT_TRUE(remove(*machine::Machine::open(dir_), "ODD", odd));
    EXPECT_TRUE(namesSeenAfresh().empty());
}

TEST_F(DosNameJournal, AHalfWrittenLineIsNotReadAndTheNextWriterCutsIt)
{
    define(m(), "A", "\\Device\\Harddisk0\\Partition0");
    appendToJournal("+\tTORN\t\\Device\\Hard");  // a writer that died mid-line
    EXPECT_EQ(namesSeenAfresh().count("TORN"), 0u);

    auto other = machine::Machine::open(dir_);
    define(*other, "B", "\\Device\\Harddisk1\\Partition0");
    EXPECT_EQ(namesSeenAfresh(),
              (DosNames{{"A", {"\\Device\\Harddisk0\\Partition0"}}, {"B", {"\\Device\\Harddisk1\\Partition0"}}}));
}

TEST_F(DosNameJournal, DamageIsReportedWithTheFileAndWhere)
{
    define(m(), "A", "\\Device\\Harddisk0\\Partition0");
    const std::string good = [&] {
        std::ifstream in(journal(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    const auto errorWith = [&](const std::string& text) {
        std::ofstream(journal(), std::ios::trunc | std::ios::binary) << text;
        try {
            machine::Machine::open(dir_)->read();
        } catch (const machine::MachineError& e) {
            return std::string(e.what());
        }
        return std::string("read without error");
    };
    for (const char* bad : {"-\tA\t\\Device\\Harddisk9\\Partition0\n", "*\tA\tB\n", "+\tA\n", "+\tA\tB\tC\n",
                            "+\t\tB\n", "+\tA\tbad %4\n", "+\tA\tbad %G1\n"}) {
        const std::string error = errorWith(good + bad);
        EXPECT_NE(error.find("dos_devices.journal is damaged at byte " + std::to_string(good.size())),
                  std::string::npos)
            << bad << ": " << error;
    }
    EXPECT_NE(errorWith("+\tA\tB\n").find("does not start with its header"), std::string::npos);
    EXPECT_NE(errorWith("").find("does not start with its header"), std::string::npos);
    EXPECT_EQ(errorWith(good), "read without error");
}

}  // namespace
