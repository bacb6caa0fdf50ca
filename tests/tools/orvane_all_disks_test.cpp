// orvane upgrade --all and setup --all on a machine with several appliances
// of one hardware id and a stick: each appliance done by its own worker, the
// stick left alone, one disk unplugged mid-write without harm to the others.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>
#include <regex>
#include <sstream>

#include "app/core/jobs/DiskJobLock.h"
#include "firmware_cli.h"
#include "signal_run.h"
#include "support/foreign_job_lock.h"

namespace {

using namespace firmware_testing;

class OrvaneAllDisks : public FirmwareCli {
protected:
    // Slots 1..count are appliances, set up unless blank; returns the slot
    // of a stick with a partition of its own.
    int applianceLine(int count, bool blank = false)
    {
        for (int slot = 2; slot <= count; ++slot)
            machine::addDisk(m(), machine::DiskOptions{});
        for (int slot = 1; slot <= count && !blank; ++slot) {
            partitionWithSfdisk(slot, "label: dos\\nstart=131136, size=1966016, type=82\\n");
            patch(diskImage(slot), 436, "\\377\\377\\377\\377");
            rescan(slot);
        }
        machine::DiskOptions stick;
        stick.size = 1ull << 30;
        stick.vendor = "ACME";
        stick.product = "Stick";
        stick.vid = 0x0781;
        const int slot = machine::addDisk(m(), stick);
        partitionWithSfdisk(slot, "label: dos\\nstart=2048, type=c\\n");
        return slot;
    }
    bool upgraded(int slot)
    {
        return sameBytes(diskImage(slot), kKernelAt, kernel_, 0, fs::file_size(kernel_)) &&
               sameBytes(diskImage(slot), kRootfsAt, rootfs_, 0, fs::file_size(rootfs_)) &&
               flagWord(slot) == "0000000b";
    }
    // The summary row of a disk.
    static std::string rowOf(const std::string& out, const std::string& disk)
    {
        const auto at = out.rfind("\n" + disk + " ");
        return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    }
};

TEST_F(OrvaneAllDisks, EveryApplianceIsUpgradedAndAnUnpluggedOneHarmsNoOther)
{
    const int stick = applianceLine(4);
    const std::string stickPrint = testing_support::fingerprintFile(diskImage(stick));
    const fs::path image = makeImage();
    // Disk 3 leaves while its rootfs is being written.
    machine::setDiskSetting(m(), 3, "vanish_at", std::to_string(kRootfsAt / 512 + 64));
    std::vector<std::string> paths;  // as they are before the run: restarts may renumber them
    for (int slot = 0; slot <= stick; ++slot)
        paths.push_back(devpath(slot));

    const auto run = orvane({"upgrade", image.string(), "--all", "--yes"});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("Left alone: " + paths[stick] + " (ACME Stick USB Device - Drives(D:)): not in the appliance's layout"),
              std::string::npos)
        << run.out;
    for (int slot : {1, 2, 4}) {
        EXPECT_TRUE(upgraded(slot)) << "disk " << slot;
        EXPECT_NE(rowOf(run.out, paths[slot]).find("upgrade done"), std::string::npos) << run.out;
    }
    EXPECT_NE(rowOf(run.out, paths[3]).find("writing rootfs failed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 of 4 disks failed."), std::string::npos) << run.out;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(stick)), stickPrint);
}

TEST_F(OrvaneAllDisks, JobsCapsHowManyRunAtOnce)
{
    applianceLine(2);
    const fs::path image = makeImage();
    const auto run = orvane({"upgrade", image.string(), "--all", "--yes", "--jobs", "1"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("All 2 disks done."), std::string::npos) << run.out;
    EXPECT_TRUE(upgraded(1));
    EXPECT_TRUE(upgraded(2));
    // Plain lines, in order: the second starts only once the first is done.
    const auto firstDone = run.out.find(devpath(1) + "  100%  done");
    const auto secondStarts = run.out.find(devpath(2) + "    0%  started");
    ASSERT_NE(firstDone, std::string::npos) << run.out;
    EXPECT_GT(secondStarts, firstDone) << run.out;
}

// A worker a signal ends is said to be killed by it, not to have ended with
// 128 + its number as if it had exited so itself.
TEST_F(OrvaneAllDisks, AKilledWorkerIsNamedKilledByItsSignal)
{
    applianceLine(1);
    const fs::path image = makeImage();
    const std::string path = devpath(1);
    // The worker: orvane told to wait for its restart, started by this test's.
    std::atomic<bool> done{false}, killed{false};
    std::thread killer([&] {
        auto read = [](const fs::path& file) {
            std::ifstream in(file);
            return std::string{std::istreambuf_iterator<char>(in), {}};
        };
        while (!done && !killed) {
            for (const auto& entry : fs::directory_iterator("/proc")) {
                const std::string pid = entry.path().filename().string();
                if (pid.find_first_not_of("0123456789") != std::string::npos ||
                    read(entry.path() / "cmdline").find("--restart-when-told") == std::string::npos)
                    continue;
                // Its parent is the orvane this test started on its machine.
                const std::string stat = read(entry.path() / "stat");
                const auto close = stat.rfind(')');
                if (close == std::string::npos)
                    continue;
                std::istringstream fields(stat.substr(close + 2));
                std::string state, parent;
                fields >> state >> parent;
                if (read(fs::path("/proc") / parent / "cmdline").find(dir_.string()) != std::string::npos &&
                    ::kill(std::stoi(pid), SIGKILL) == 0)
                    killed = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto run = orvane({"upgrade", image.string(), "--all", "--yes"});
    done = true;
    killer.join();
    ASSERT_TRUE(killed) << run.out;
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(rowOf(run.out, path).find("the worker was killed by signal 9 (SIGKILL)"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ended with code"), std::string::npos) << run.out;
}

// A disk another program holds ends only its own worker, and the summary
// says why; on a terminal each disk keeps one line, redrawn in place.
TEST_F(OrvaneAllDisks, ABusyDiskIsNamedAndATerminalGetsOneLinePerDisk)
{
    applianceLine(2);
    const fs::path image = makeImage();
    {
        testing_support::ForeignJobLock foreign(m(), 2, DiskJobDescription(DiskJobKind::Setup, 4242));
        ASSERT_TRUE(foreign.held());
        const auto run = orvane({"upgrade", image.string(), "--all", "--yes"});
        EXPECT_EQ(run.code, 1) << run.out << run.err;
        EXPECT_NE(rowOf(run.out, devpath(2)).find("busy: a disk setup started by process 4242"), std::string::npos)
            << run.out;
        EXPECT_TRUE(upgraded(1));
    }
    std::string out;
    const std::string command = shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                shellQuote(dir_.string()) + " upgrade " + shellQuote(image.string()) +
                                " --all --yes";
    ASSERT_EQ(shell("script -qefc " + shellQuote(command) + " /dev/null", &out), 0) << out;
    EXPECT_NE(out.find("\x1b[2A\r\x1b[2K"), std::string::npos) << "not redrawn in place:\n" << out;
    EXPECT_TRUE(upgraded(2));
}

// What a terminal of that many columns shows: no line wider (escape
// sequences aside), and each redraw goes back up by the rows it drew last,
// so no line is left behind or drawn over.
void expectFitsAndRedrawsByRows(const std::string& out, std::size_t columns)
{
    static const std::regex csi("\x1b\\[[0-9;]*[A-Za-z]");
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = std::min(out.find('\n', at), out.size());
        std::string line = std::regex_replace(out.substr(at, end - at), csi, "");
        std::erase(line, '\r');
        const auto width = std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
        EXPECT_LE(static_cast<std::size_t>(width), columns) << line;
        at = end + 1;
    }
    static const std::regex up("\x1b\\[(\\d+)A");
    std::size_t from = out.find("\r\x1b[2K"), redraws = 0;
    ASSERT_NE(from, std::string::npos) << out;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), up); it != std::sregex_iterator(); ++it) {
        const auto move = static_cast<std::size_t>(it->position());
        std::size_t drawn = 0;
        for (auto line = out.find("\r\x1b[2K", from); line < move; line = out.find("\r\x1b[2K", line + 1))
            ++drawn;
        EXPECT_EQ(std::stoul((*it)[1]), drawn) << "at byte " << move;
        from = move;
        ++redraws;
    }
    EXPECT_GT(redraws, 3u);
}

// Four disks on terminals of 80 and 50 columns: the lines, the stick's
// "Left alone" and the table's long results fit, nothing of them lost.
TEST_F(OrvaneAllDisks, OnATerminalEveryLineFitsItsWidthAndTheRedrawMovesByTheRowsDrawn)
{
    const int stick = applianceLine(4);
    const fs::path image = makeImage();
    for (std::size_t columns : {80, 50}) {
        std::string out;
        const std::string command = "stty cols " + std::to_string(columns) + "; " +
                                    shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                    shellQuote(dir_.string()) + " upgrade " + shellQuote(image.string()) +
                                    " --all --yes";
        ASSERT_EQ(shell("script -qefc " + shellQuote(command) + " /dev/null", &out), 0) << out;
        expectFitsAndRedrawsByRows(out, columns);
        // The table's words, wrapped or under their disk, read on as on one
        // line once the times between them are left out.
        const std::string table = std::regex_replace(
            std::regex_replace(out.substr(out.rfind("\nDisk ")), std::regex("\\s+"), " "),
            std::regex(" [0-9]+\\.[0-9] s "), " ");
        std::size_t done = 0;
        for (auto at = table.find("upgrade done: kernel and rootfs written, read back and marked for the appliance");
             at != std::string::npos; at = table.find("upgrade done", at + 1))
            ++done;
        EXPECT_EQ(done, 4u) << columns << ":\n" << out;
        for (int slot = 1; slot <= 4; ++slot)
            EXPECT_NE(table.find(devpath(slot) + " "), std::string::npos) << columns << ":\n" << out;
        std::string all = std::regex_replace(out, std::regex("\\s+"), " ");
        EXPECT_NE(all.find("Left alone: " + devpath(stick) + " (ACME Stick USB Device - Drives(D:)): not in the "
                                                              "appliance's layout"),
                  std::string::npos)
            << out;
    }
}

// The parent searches once and gives each worker its disk by path and USB
// device; a worker whose path now names another device writes nothing.
TEST_F(OrvaneAllDisks, AWorkerWritesOnlyTheDiskItIsGivenAndOnlyWhileItIsThatDevice)
{
    applianceLine(2);
    const fs::path image = makeImage();
    const auto usbId = [this](int slot) { return machine::usbInstanceId(state()->disks.at(static_cast<size_t>(slot))); };
    const std::string before1 = testing_support::fingerprintFile(diskImage(1)),
                      before2 = testing_support::fingerprintFile(diskImage(2));
    for (const auto& given : {usbId(2), usbId(1) + "0"}) {
        const auto worker = orvane({"upgrade", image.string(), "--yes", "--device", devpath(1), "--restart-when-told",
                                    "--usb-id", given});
        EXPECT_EQ(worker.code, 1) << given << "\n" << worker.out;
        EXPECT_NE(worker.err.find("nothing was written"), std::string::npos) << worker.err;
    }
    {
        // Its device away while another job holds a disk: busy (that job may
        // be restarting it), not a disk that is gone for good.
        testing_support::ForeignJobLock foreign(m(), 2, DiskJobDescription(DiskJobKind::Upgrade, 4242));
        ASSERT_TRUE(foreign.held());
        machine::unplug(m(), 1);
        const auto worker = orvane({"upgrade", image.string(), "--yes", "--device", devpath(1), "--restart-when-told",
                                    "--usb-id", usbId(1)});
        EXPECT_EQ(worker.code, 5) << worker.err;
        EXPECT_NE(worker.err.find("is away now, while an upgrade started by process 4242 holds a disk"),
                  std::string::npos)
            << worker.err;
        machine::plug(m(), 1);
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before1);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(2)), before2);

    const auto worker = tools_testing::runWithSteps(
        "orvane",
        {"--machine", dir_.string(), "upgrade", image.string(), "--yes", "--device", devpath(1), "--restart-when-told",
         "--usb-id", usbId(1)},
        {tools_testing::inputAt("waiting for the other disks before the restart", "go")});
    EXPECT_EQ(worker.code, 0) << worker.out;
    EXPECT_TRUE(upgraded(1));
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(2)), before2);

    // --all hands each worker its USB device, and every disk is done.
    const auto run = orvane({"upgrade", image.string(), "--all", "--yes"});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_TRUE(upgraded(2));
}

TEST_F(OrvaneAllDisks, RefusesWhatItCannotDoBeforeAnyDiskIsTouched)
{
    const fs::path image = makeImage();
    EXPECT_EQ(orvane({"upgrade", image.string(), "--all", "--device", devpath(1)}).code, 2);
    EXPECT_EQ(orvane({"upgrade", image.string(), "--all", "--jobs", "0"}).code, 2);
    EXPECT_EQ(orvane({"upgrade", image.string(), "--jobs", "2"}).code, 2);
    EXPECT_EQ(orvane({"setup", "--partitions", "1", "--all", "--device", devpath(1)}).code, 2);
    const auto run = orvane({"upgrade", image.string(), "--all", "--yes"});  // disk 1 is blank
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("Left alone: " + devpath(1)), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("no disk to upgrade"), std::string::npos) << run.err;
    // A worker never sets a disk up: the command that starts it checked the
    // image, which a worker leaves to the upgrade's own check.
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const auto worker = orvane({"upgrade", image.string(), "--yes", "--device", devpath(1), "--restart-when-told"});
    EXPECT_EQ(worker.code, 1);
    EXPECT_NE(worker.err.find("is no longer in the appliance's layout; nothing was written"), std::string::npos)
        << worker.err;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

TEST_F(OrvaneAllDisks, SetupTakesBlankDisksAndAppliancesButNoDiskWithPartitionsOfItsOwn)
{
    const int stick = applianceLine(2, true);
    machine::addDisk(m(), machine::DiskOptions{});  // a third appliance, set up already
    partitionWithSfdisk(stick + 1, "label: dos\\nstart=131136, size=1966016, type=82\\n");
    const std::string stickPrint = testing_support::fingerprintFile(diskImage(stick));
    const auto run = orvane({"setup", "--partitions", "2", "--all", "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Left alone: " + devpath(stick) + " (ACME Stick USB Device - Drives(D:)): has partitions of another layout"),
              std::string::npos)
        << run.out;
    for (int slot : {1, 2, stick + 1}) {
        const std::string table = shellOut("sfdisk -d " + shellQuote(diskImage(slot).string()));
        EXPECT_EQ(shellOut("sfdisk -d " + shellQuote(diskImage(slot).string()) + " | grep -c 'type=7'"), "2") << table;
        EXPECT_NE(rowOf(run.out, devpath(slot)).find("disk set up"), std::string::npos) << run.out;
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(stick)), stickPrint);
}

}  // namespace
