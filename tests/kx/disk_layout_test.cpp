// Building tables through the API: the appliance's standard table, single
// partitions, free space, and refusals that must leave the disk untouched.
#include <chrono>
#include <future>
#include <thread>

#include "common/kx_lock.h"
#include "disk_api_fixture.h"

namespace kx_test {
namespace {

constexpr std::uint64_t N = kDiskSectors;
constexpr std::uint64_t GiB = kGiB;

class Layout : public DiskApiTest {
protected:
    std::string imagePrint() { return testing_support::fingerprintFile(diskImage(1)); }
};

TEST_F(Layout, StandardTableWithOnePublicPartitionKeepsTheUserBlock)
{
    kx_user_info user{"owner", "Orvane lab", "unit 3", "kept across the new table"};
    ASSERT_EQ(kx_disk_set_userinfo(disk(), &user), 1);
    const auto before = sectorZero();

    ASSERT_EQ(kx_part_delete_all(disk()), 1);
    EXPECT_EQ(kx_disk_freespace(disk(), KX_PART_PRIMARY), N * 512);
    EXPECT_EQ(kx_part_create_pnum(disk(), 1, 7 * GiB, 0, 0, 1 * GiB), 1);

    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 2097151 - 131136 + 1, 0x82},
                                              {2, 2097215, (N - 2) - 2097215 + 1, 0x07}}));
    const auto after = sectorZero();
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 216, after.begin() + 436),
              std::vector<std::uint8_t>(before.begin() + 216, before.begin() + 436));
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 436, after.begin() + 440),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_create_pnum:",
                               "]: Create 1 partitions: p1=1c0000000, p2=0, p3=0, v4=40000000"));

    // The records describe the new table: the system partition has no drive.
    kx_disk* d = disk();
    EXPECT_EQ(d->primary, 2);
    PedWinPart* system = kx_part_getinfo(d, nullptr, KX_PART_ALL);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->kind, KX_FS_SYSTEM);
    EXPECT_EQ(system->mountpoint, nullptr);
    PedWinPart* pub = kx_part_getinfo(d, system, KX_PART_ALL);
    ASSERT_NE(pub, nullptr);
    EXPECT_EQ(pub->kind, KX_FS_NTFS);
    ASSERT_NE(pub->mountpoint, nullptr);
    EXPECT_EQ(pub->size, ((N - 2) - 2097215 + 1) * 512);
}

TEST_F(Layout, SystemPartitionAloneAndThreePublicOnesClippedAtTheEnd)
{
    ASSERT_EQ(kx_part_create_pnum(disk(), 0, 0, 0, 0, 1 * GiB), 1);
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 1966016, 0x82}}));

    ASSERT_EQ(kx_part_delete_all(disk()), 1);
    EXPECT_TRUE(dump().empty());
    // What is left after the system partition and two 1 GiB partitions, each
    // 64 sectors shorter than asked; placing it all runs past the disk's end.
    const std::uint64_t rest = (N - 1966016 - 2 * 2097088) * 512;
    ASSERT_EQ(kx_part_create_pnum(disk(), 3, GiB, GiB, rest, GiB), 1);
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 1966016, 0x82},
                                              {2, 2097215, 2097088, 0x07},
                                              {3, 4194366, 2097088, 0x07},
                                              {4, 6291517, N - 6291517, 0x07}}));
}

TEST_F(Layout, FailureHalfWayThroughWritesNothing)
{
    const std::string print = imagePrint();
    const std::uint64_t tooBig = (N - 1966016) * 512 + 1;
    EXPECT_EQ(kx_part_create_pnum(disk(), 2, tooBig, GiB, 0, GiB), 0);
    EXPECT_EQ(imagePrint(), print);
}

TEST_F(Layout, PublicCountOutsideZeroToThreeIsRefusedWithoutTheLock)
{
    // Another thread holds the lock: a refusal must not wait for it.
    std::promise<void> held, done;
    std::thread holder([&] {
        kx::takeLibraryLock();
        held.set_value();
        done.get_future().wait_for(std::chrono::seconds(5));
        kx::releaseLibraryLock();
    });
    kx_disk* d = disk();
    const std::string print = imagePrint();
    held.get_future().wait();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kx_part_create_pnum(d, 4, GiB, 0, 0, GiB), 0);
    EXPECT_EQ(kx_part_create_pnum(d, -1, GiB, 0, 0, GiB), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    done.set_value();
    holder.join();

    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_part_create_pnum(",
                               "): publicnum > 0 && publicnum < 4"));
    EXPECT_EQ(imagePrint(), print);
}

TEST_F(Layout, TwoPublicPartitionsAreLoggedInHex)
{
    ASSERT_EQ(kx_part_create_pnum(disk(), 2, 2 * GiB, 3 * GiB, 0, GiB), 1);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_create_pnum:",
                               "]: Create 2 partitions: p1=80000000, p2=c0000000, p3=0, v4=40000000"));
    EXPECT_EQ(kx_part_num(disk(), KX_PART_ALL), 3);
}

TEST_F(Layout, CreateRefusesEmptyAndOversizedRequestsAndWritesNothing)
{
    const std::string print = imagePrint();
    const std::uint64_t free = kx_disk_freespace(disk(), KX_PART_PRIMARY);
    EXPECT_EQ(free, N * 512);
    EXPECT_EQ(kx_disk_freespace(disk(), KX_PART_LOGICAL), 0u) << "no extended partition";

    EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_NTFS, 0), 0);
    EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_NTFS, free + 1), 0);
    EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_NTFS, 511), 0) << "less than one sector";
    EXPECT_EQ(kx_part_create(disk(), KX_PART_LOGICAL, KX_FS_NTFS, GiB), 0) << "no extended partition";
    EXPECT_EQ(imagePrint(), print);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_part_create:",
                               "]: Fail to create partition: " + devpath() + ", pflag: 1, fflag: 3, size=0"));
}

TEST_F(Layout, CreatePrimaryExtendedAndLogical)
{
    ASSERT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_FAT32, GiB), 1);
    ASSERT_EQ(kx_part_create(disk(), KX_PART_EXTENDED, KX_FS_NONE, 2 * GiB), 1);
    ASSERT_EQ(kx_part_create(disk(), KX_PART_LOGICAL, KX_FS_NTFS, GiB / 2), 1);
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_part_create:",
                               "]: Success to create partition: " + devpath() + ", pflag: 3, fflag: 3, size=20000000"));

    const auto entries = dump();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (DumpEntry{1, 131136, 1966016, 0x0B}));
    EXPECT_EQ(entries[1], (DumpEntry{2, 2097215, 2097151 + 4194304 - 2097215, 0x05}));
    EXPECT_EQ(entries[2].start, 2097215u + 64);
    EXPECT_EQ(entries[2].type, 0x07u);

    kx_disk* d = disk();
    EXPECT_EQ(kx_part_num(d, KX_PART_ALL), 2);
    EXPECT_EQ(kx_part_num(d, KX_PART_EXTENDED), 1);
    EXPECT_EQ(kx_part_num(d, KX_PART_LOGICAL), 1);
    EXPECT_EQ(kx_disk_freespace(d, KX_PART_LOGICAL), (entries[1].size - entries[2].size) * 512);
}

}  // namespace
}  // namespace kx_test
