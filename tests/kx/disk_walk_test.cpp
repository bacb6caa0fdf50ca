// Walking and counting the partitions of a table with primary partitions
// on both sides of an extended one.
#include <tuple>

#include "disk_api_fixture.h"

namespace kx_test {
namespace {

// P1, P2, E{L1, L2}, P3 in sectors, each with a distinct size.
constexpr std::uint64_t kP1 = 204800, kP2 = 206848, kE = 1048576, kL1 = 208896, kL2 = 210944, kP3 = 212992;

using Seen = std::tuple<int, int, std::uint64_t>;  // type, kind, size in bytes

class Walk : public DiskApiTest {
protected:
    void SetUp() override
    {
        DiskApiTest::SetUp();
        layTable("start=2048, size=204800, type=7\\n"
                 "start=206848, size=206848, type=b\\n"
                 "start=413696, size=1048576, type=5\\n"
                 "start=1462272, size=212992, type=7\\n"
                 "start=415744, size=208896, type=7\\n"
                 "start=626688, size=210944, type=6\\n");
    }

    std::vector<Seen> walk(int flag)
    {
        std::vector<Seen> seen;
        kx_disk* d = disk();
        for (PedWinPart* p = kx_part_getinfo(d, nullptr, flag); p; p = kx_part_getinfo(d, p, flag)) {
            seen.emplace_back(p->type, p->kind, p->size);
            if (seen.size() > 10)
                break;  // a walk that never ends
        }
        return seen;
    }

    static Seen primary(int kind, std::uint64_t sectors) { return {KX_PART_PRIMARY, kind, sectors * 512}; }
    static Seen logical(int kind, std::uint64_t sectors) { return {KX_PART_LOGICAL, kind, sectors * 512}; }
    static Seen extended() { return {KX_PART_EXTENDED, KX_FS_NONE, kE * 512}; }
};

TEST_F(Walk, EachSelectorYieldsItsPartitionsInTableOrder)
{
    EXPECT_EQ(walk(KX_PART_ALL),
              (std::vector<Seen>{primary(KX_FS_NTFS, kP1), primary(KX_FS_FAT32, kP2), extended(),
                                 logical(KX_FS_NTFS, kL1), logical(KX_FS_FAT, kL2), primary(KX_FS_NTFS, kP3)}));
    EXPECT_EQ(walk(KX_PART_PRIMARY),
              (std::vector<Seen>{primary(KX_FS_NTFS, kP1), primary(KX_FS_FAT32, kP2), primary(KX_FS_NTFS, kP3)}));
    EXPECT_EQ(walk(KX_PART_EXTENDED), (std::vector<Seen>{extended()}));
    EXPECT_EQ(walk(KX_PART_LOGICAL), (std::vector<Seen>{logical(KX_FS_NTFS, kL1), logical(KX_FS_FAT, kL2)}));
    EXPECT_TRUE(walk(7).empty());
}

TEST_F(Walk, RecordsCarryTheOperatingSystemsView)
{
    for (PedWinPart* p = kx_part_getinfo(disk(), nullptr, KX_PART_ALL); p; p = kx_part_getinfo(disk(), p, KX_PART_ALL)) {
        if (p->type == KX_PART_EXTENDED) {
            EXPECT_EQ(p->path, nullptr);
            EXPECT_EQ(p->mountpoint, nullptr);
            // What the primary area has left.
            EXPECT_EQ(p->free, (kDiskSectors - kP1 - kP2 - kE - kP3) * 512);
            continue;
        }
        ASSERT_NE(p->path, nullptr);
        EXPECT_EQ(std::string(p->path).rfind("\\Device\\Harddisk" + std::to_string(diskNumber(1)) + "\\Partition", 0), 0u);
        ASSERT_NE(p->mountpoint, nullptr) << p->path;
        EXPECT_EQ(std::string(p->mountpoint).size(), 2u);
        EXPECT_EQ(p->private_volume, 0);
    }
}

TEST_F(Walk, CountsNeverIncludeTheExtendedPartitionInTheTotal)
{
    kx_disk* d = disk();
    EXPECT_EQ(kx_part_num(d, KX_PART_ALL), 5);
    EXPECT_EQ(kx_part_num(d, KX_PART_PRIMARY), 3);
    EXPECT_EQ(kx_part_num(d, KX_PART_EXTENDED), 1);
    EXPECT_EQ(kx_part_num(d, KX_PART_LOGICAL), 2);
    EXPECT_EQ(kx_part_num(d, 4), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_num:",
                               "]: partition number: " + devpath() + ", partnum = 5"));
    EXPECT_EQ(kx_disk_freespace(d, KX_PART_LOGICAL), (kE - kL1 - kL2) * 512);
}

TEST_F(Walk, APreviousRecordFromElsewhereEndsTheWalk)
{
    machine::DiskOptions options;
    options.size = 2ull << 30;
    options.product = "Second Disk";
    machine::addDisk(m(), options);
    partitionWithSfdisk(2, "label: dos\\nstart=2048, size=204800, type=7\\n");
    ASSERT_EQ(kx_dev_probe(), 1);
    kx_disk* other = kx_disk_get(wholeDiskPath(diskNumber(2)).c_str());
    ASSERT_NE(other, nullptr);
    PedWinPart* foreign = kx_part_getinfo(other, nullptr, KX_PART_ALL);
    ASSERT_NE(foreign, nullptr);

    EXPECT_EQ(kx_part_getinfo(disk(), foreign, KX_PART_ALL), nullptr);
    PedWinPart unknown{};
    EXPECT_EQ(kx_part_getinfo(disk(), &unknown, KX_PART_PRIMARY), nullptr);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_getinfo:",
                               "]: Get partition info: " + devpath() + ", flag: 1, ret = 0"));
}

}  // namespace
}  // namespace kx_test
