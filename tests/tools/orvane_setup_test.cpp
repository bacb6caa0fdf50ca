// orvane setup on a temporary machine: the table (sfdisk) and volumes (blkid)
// it leaves on the 8 GiB appliance disk, what it shows, and the command
// lines and disks it refuses without writing.
#include <cstdio>
#include <set>

#include "firmware_cli.h"

namespace {

using namespace firmware_testing;

constexpr std::uint64_t kSectors = 8ull * 1024 * 1024 * 1024 / 512;

class OrvaneSetup : public FirmwareCli {
protected:
    // "start size type" of each partition, one a line.
    std::string table()
    {
        return shellOut("sfdisk -d " + shellQuote(diskImage(1).string()) +
                        " | sed -n 's/.*start= *\\([0-9]*\\), size= *\\([0-9]*\\), type=\\([0-9a-f]*\\).*/\\1 \\2 "
                        "\\3/p'");
    }
    std::string blkid(std::uint64_t sector, const std::string& field)
    {
        std::string out;
        shell("blkid -p -O " + std::to_string(sector * 512) + " -o value -s " + field + " " +
                  shellQuote(diskImage(1).string()),
              &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
    void layOldTable() { partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n"); }
};

TEST_F(OrvaneSetup, TwoPartitionsGetTheGivenSizeAndTheRestFormattedAndLabelled)
{
    layOldTable();
    const auto run = orvane({"setup", "--partitions", "2", "--sizes", "500", "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    const std::uint64_t second = 2097215 + 1023936 + 63;
    EXPECT_EQ(table(), "131136 1966016 82\n2097215 1023936 7\n" + std::to_string(second) + " " +
                           std::to_string(kSectors - 3 - second + 1) + " 7");
    EXPECT_EQ(blkid(2097215, "LABEL"), "Partition-1");
    EXPECT_EQ(blkid(second, "LABEL"), "Partition-2");
    EXPECT_EQ(blkid(second, "TYPE"), "ntfs");

    // The layout asked about, then the worker's stages in order.
    size_t at = 0;
    for (const char* text : {"system partition  960 MiB", "Partition-1  NTFS, 500 MiB",
                             "Partition-2  NTFS, the rest (about 6668 MiB)", "Setting up:",
                             "Partitions created and visible",
                             "Formatting public partition 1 as NTFS, label Partition-1", "100% partition 1",
                             "Formatting public partition 2", "100% partition 2", "Disk set up."}) {
        const size_t found = run.out.find(text, at);
        ASSERT_NE(found, std::string::npos) << text << "\n" << run.out;
        at = found;
    }
}

// The layout shown before the question is the system partition sfdisk then
// reads: its first and last sector, its size in MiB, and its end at 1 GiB,
// alone on the disk or before public partitions.
TEST_F(OrvaneSetup, TheSystemPartitionShownIsTheOneTheTableHolds)
{
    for (const char* count : {"0", "1"}) {
        const auto run = orvane({"setup", "--partitions", count, "--yes"});
        ASSERT_EQ(run.code, 0) << run.out << run.err;
        const std::string first = table().substr(0, table().find('\n'));
        std::uint64_t start = 0, size = 0;
        char type[8] = {};
        ASSERT_EQ(std::sscanf(first.c_str(), "%llu %llu %7s", reinterpret_cast<unsigned long long*>(&start),
                              reinterpret_cast<unsigned long long*>(&size), type),
                  3)
            << first;
        EXPECT_STREQ(type, "82");
        EXPECT_EQ((start + size) * 512, 1024ull * 1024 * 1024) << "the system partition ends at 1 GiB";
        const std::string shown = "system partition  " + std::to_string((size + 1024) / 2048) + " MiB, sectors " +
                                  std::to_string(start) + " to " + std::to_string(start + size - 1) +
                                  " (ending at 1 GiB)\n";
        EXPECT_NE(run.out.find(shown), std::string::npos) << shown << "\n" << run.out;
        EXPECT_EQ(run.out.find("1024 MiB"), std::string::npos) << run.out;
    }
}

TEST_F(OrvaneSetup, ThreePartitionsOfTheGivenSizesAndTheRest)
{
    const auto run = orvane({"setup", "--partitions", "3", "--sizes", "100,200", "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    // 63 unused sectors between neighbours; a size of n MiB spans n * 2048 - 64
    // sectors; the last partition ends at sector N - 4.
    const std::uint64_t first = 2097215, second = first + 204736 + 63, third = second + 409536 + 63;
    EXPECT_EQ(table(), "131136 1966016 82\n" + std::to_string(first) + " 204736 7\n" + std::to_string(second) +
                           " 409536 7\n" + std::to_string(third) + " " + std::to_string(kSectors - 4 - third + 1) +
                           " 7");
    int index = 1;
    std::set<std::string> serials;
    for (std::uint64_t start : {first, second, third}) {
        EXPECT_EQ(blkid(start, "TYPE"), "ntfs");
        EXPECT_EQ(blkid(start, "LABEL"), "Partition-" + std::to_string(index++));
        serials.insert(blkid(start, "UUID"));
    }
    // The backup boot sector, the first volume's last sector, carries the same serial.
    EXPECT_TRUE(sameBytes(diskImage(1), first * 512 + 0x48, diskImage(1), (first + 204736 - 1) * 512 + 0x48, 8));
    EXPECT_EQ(serials.size(), 3u) << "volumes made in one second need serials of their own";
}

TEST_F(OrvaneSetup, WithoutSizesTheRoomIsSplitEvenly)
{
    const auto run = orvane({"setup", "--partitions", "3", "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    // (8192 - 1024) / 3 MiB twice, the rest for the third.
    EXPECT_NE(run.out.find("Partition-1  NTFS, 2389 MiB\n  Partition-2  NTFS, 2389 MiB\n  Partition-3  NTFS, the rest "
                           "(about 2390 MiB)"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(shellOut("sfdisk -d " + shellQuote(diskImage(1).string()) + " | grep -c type=7"), "3");
}

TEST_F(OrvaneSetup, OnlyAYesDestroysThePartitions)
{
    layOldTable();
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    const std::string command = tools_testing::shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                shellQuote(dir_.string()) + " setup --partitions 1";
    for (const std::string input : {"printf 'n\\n' | ", "printf '' | "}) {
        std::string out;
        EXPECT_EQ(shell(input + command, &out), 1) << input;
        EXPECT_NE(out.find("Every partition on the disk will be deleted"), std::string::npos) << out;
        EXPECT_NE(out.find("setup cancelled; nothing was written"), std::string::npos) << out;
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
}

TEST_F(OrvaneSetup, WrongCountsAndSizesAreRefusedBeforeTheDisk)
{
    layOldTable();
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    const std::vector<std::vector<std::string>> usage = {
        {"setup", "--yes"},
        {"setup", "--partitions", "4", "--yes"},
        {"setup", "--partitions", "1", "--sizes", "100", "--yes"},
        {"setup", "--partitions", "3", "--sizes", "100", "--yes"},
        {"setup", "--partitions", "2", "--sizes", "0", "--yes"},
        {"setup", "--partitions", "2", "--sizes", "2000000", "--yes"},
        {"setup", "--partitions", "3", "--sizes", "100,", "--yes"},
        {"setup", "--partitions", "2", "--sizes", "-5", "--yes"},
    };
    for (const auto& args : usage) {
        const auto run = orvane(args);
        EXPECT_EQ(run.code, 2) << testing::PrintToString(args) << run.err;
    }
    // Fits the limit, not the disk: nothing left for the last partition.
    const auto run = orvane({"setup", "--partitions", "2", "--sizes", "7168", "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("leave nothing for the last public partition"), std::string::npos) << run.err;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
}

TEST_F(OrvaneSetup, PartitionsTooSmallForNtfsAreRefusedBeforeTheDisk)
{
    layOldTable();
    const std::string dump = "sfdisk -d " + shellQuote(diskImage(1).string());
    const std::string before = shellOut(dump);
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    struct Case {
        std::string partitions, sizes, named;
        int code;
    };
    // The disk has 7168 MiB beside the system partition.
    const std::vector<Case> cases = {
        {"2", "1", "public partition 1 would be 1 MiB", 2},
        {"3", "1,1", "public partition 1 would be 1 MiB", 2},
        {"3", "100,99", "public partition 2 would be 99 MiB", 2},
        {"2", "7167", "public partition 2 would be about 1 MiB", 1},
        {"3", "3583,3584", "public partition 3 would be about 1 MiB", 1},
        {"2", "7069", "public partition 2 would be about 99 MiB", 1},
    };
    for (const auto& c : cases) {
        const auto run = orvane({"setup", "--partitions", c.partitions, "--sizes", c.sizes, "--yes"});
        EXPECT_EQ(run.code, c.code) << c.sizes << run.err;
        EXPECT_NE(run.err.find(c.named + "; its NTFS needs at least 100 MiB"), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Formatting"), std::string::npos) << run.out;
        EXPECT_EQ(shellOut(dump), before) << c.sizes;
        EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print) << c.sizes;
    }
    // The smallest sizes allowed pass the check (cancelled at the question).
    std::string out;
    EXPECT_EQ(shell("printf 'n\\n' | " + tools_testing::shellQuote(testing_support::buildDir() + "/orvane") +
                        " --machine " + shellQuote(dir_.string()) + " setup --partitions 3 --sizes 100,6968",
                    &out),
              1);
    EXPECT_NE(out.find("setup cancelled; nothing was written"), std::string::npos) << out;
}

TEST_F(OrvaneSetup, AFailedFormatNamesThePartition)
{
    machine::setSetting(m(), "format_service", "fails");
    const auto run = orvane({"setup", "--partitions", "2", "--sizes", "500", "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("formatting public partition 1 (Partition-1) failed; the new partitions are in place"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("Formatting public partition 2"), std::string::npos) << run.out;
}

}  // namespace

namespace {

// Unplugged while it waits for the new partitions to show: a failure that
// names the disk's absence, never "Disk set up", and no format write.
TEST_F(OrvaneSetup, UnpluggedWhileWaitingForThePartitionsIsNoSuccess)
{
    machine::setSetting(m(), "time_scale", "0.01");
    machine::setDiskSetting(m(), 1, "write_log", "on");
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "100000");  // a second, scaled
    const std::string log = (dir_ / "disk1-writes.log").string();
    const std::string orvaneTool = shellQuote(testing_support::buildDir() + "/orvane");
    const std::string out = shellQuote((work() / "setup.out").string());
    shellOut("(env -u KX_MACHINE " + orvaneTool + " --machine " + shellQuote(dir_.string()) +
             " setup --partitions 2 --sizes 1500 --yes >" + out + " 2>&1; echo \"exit $?\" >>" + out +
             ") >/dev/null 2>&1 &");
    // The delete's table write, then the new table's: the wait begins.
    shellOut("for i in $(seq 1 500); do [ \"$(grep -c '^0 1 ' " + shellQuote(log) +
             " 2>/dev/null || true)\" -ge 2 ] && break; sleep 0.01; done");
    ASSERT_EQ(runTool("orvane-machine", {"--machine", dir_.string(), "unplug", "1"}, "-u KX_MACHINE").code, 0);
    shellOut("for i in $(seq 1 600); do grep -q '^exit ' " + out + " && break; sleep 0.05; done");

    const std::string text = shellOut("cat " + out);
    EXPECT_NE(text.find("exit 1"), std::string::npos) << text;
    EXPECT_EQ(text.find("Disk set up"), std::string::npos) << text;
    EXPECT_NE(text.find("the disk went away"), std::string::npos) << text;
    EXPECT_EQ(shellOut("grep -c ' format$' " + shellQuote(log) + " || true"), "0");
}

}  // namespace
