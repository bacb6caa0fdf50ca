// Reading tables from the appliance disk: ours, other tools', and damaged ones.
#include <gtest/gtest.h>

#include <random>

#include "label_fixture.h"
#include "labels/pedmsdos_sector.h"

namespace kx_test {

namespace {

using kx::mbr::put16;
using kx::mbr::put32;

// Raw sector builders for tables no tool would write.
std::vector<std::uint8_t> tableSector(std::initializer_list<kx::mbr::Entry> entries, bool marked = false)
{
    std::vector<std::uint8_t> s(512, 0);
    int slot = 0;
    for (const auto& e : entries)
        kx::mbr::putEntry(s.data(), slot++, e, e.start, e.start + e.count - 1, {});
    if (marked)
        std::fill(s.begin() + 436, s.begin() + 440, 0xFF);
    put16(s.data() + 510, 0xAA55);
    return s;
}

class LabelRead : public LabelTest {};

TEST_F(LabelRead, BlankDiskReadsEmptyAfterOneWrongSignatureLine)
{
    probe();
    ASSERT_NE(table(), nullptr);
    EXPECT_TRUE(partitions().empty());
    EXPECT_EQ(kx::diskData(table())->marked, 0);
    EXPECT_EQ(kx::diskData(table())->size, static_cast<std::int64_t>(8ull << 30));
    EXPECT_EQ(countLines("Invalid partition table on \\Device\\Harddisk1\\Partition0 -- wrong signature 0."), 1);
}

TEST_F(LabelRead, SfdiskTableWithLogicalPartitionsAndAPrimaryAfterThem)
{
    partitionWithSfdisk(1,
                        "label: dos\\n"
                        "start=2048, size=204800, type=7\\n"
                        "start=206848, size=1048576, type=5\\n"
                        "start=208896, size=204800, type=b\\n"
                        "start=415744, size=204800, type=17\\n"
                        "start=1255424, size=204800, type=82\\n");
    probe();
    const std::vector<Seen> expected = {
        {1, PED_PARTITION_NORMAL, 2048, 206847, 0x07},     {2, PED_PARTITION_EXTENDED, 206848, 1255423, 0x05},
        {3, PED_PARTITION_NORMAL, 1255424, 1460223, 0x82}, {5, PED_PARTITION_LOGICAL, 208896, 413695, 0x0B},
        {6, PED_PARTITION_LOGICAL, 415744, 620543, 0x17},
    };
    EXPECT_EQ(partitions(), expected);
    EXPECT_EQ(codeOf(1), kx::FS_NTFS);
    EXPECT_EQ(codeOf(2), -1);  // no file-system record on the extended partition
    EXPECT_EQ(codeOf(3), kx::FS_SYSTEM);
    EXPECT_EQ(codeOf(5), kx::FS_FAT32);
    EXPECT_EQ(codeOf(6), kx::FS_PRIVATE_NTFS);
    EXPECT_EQ(kx::diskData(table())->marked, 0);

    // Windows shows them, so each got its own device record.
    EXPECT_NE(kx::partData(partition(1))->dev, nullptr);
    EXPECT_NE(kx::partData(partition(5))->dev, nullptr);

    // Written back by us, sfdisk reads the same layout (our own record places).
    ASSERT_TRUE(commit());
    EXPECT_EQ(dump(), dumpOf(expected));
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions(), expected);
    EXPECT_EQ(kx::diskData(table())->marked, 1);
}

TEST_F(LabelRead, GuidTableReadsAsOneProtectedPartition)
{
    partitionWithSfdisk(1, "label: gpt\\nstart=2048, size=2097152\\n");
    probe();
    EXPECT_EQ(partitions(), (std::vector<Seen>{{1, PED_PARTITION_PROTECTED, 1, kDiskSectors - 1, 0xEE}}));
    EXPECT_EQ(PED_PARTITION_PROTECTED, 16);
    EXPECT_EQ(codeOf(1), -1);
    EXPECT_EQ(kx::ped_disk_query_free(table(), 0).bytes, 8ull << 30);  // not counted as used
}

TEST_F(LabelRead, RemovableDiskShowsOnePartitionUntilWeWroteItsTable)
{
    machine::setDiskSetting(m(), 1, "removable", "true");
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=204800, type=c\\nstart=206848, size=204800, type=7\\n");
    probe();
    ASSERT_EQ(kx_dev_get(nullptr, 2, 0) != nullptr, true) << "the disk must count as removable";
    EXPECT_EQ(partitions(), (std::vector<Seen>{{1, PED_PARTITION_NORMAL, 0, kDiskSectors - 1, 0x83}}));
    EXPECT_EQ(codeOf(1), kx::FS_NONE);

    ASSERT_EQ(kx::ped_disk_delete_all(table()), 1);
    ASSERT_EQ(kx::createPartition(table(), PED_PARTITION_NORMAL, kx::FS_NTFS, 0, 2097151), 1);
    ASSERT_TRUE(commit());
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions(), (std::vector<Seen>{{1, PED_PARTITION_NORMAL, 131136, 2097151, 0x07}}));
    EXPECT_EQ(kx::diskData(table())->marked, 1);
}

// Probed on a blank disk: the device record and an empty table.
class LabelReadDamaged : public ProbedLabelTest {
protected:
    void ebr(std::uint64_t at, std::uint32_t rel, std::uint32_t count, std::uint32_t linkRel, std::uint32_t linkCount)
    {
        std::vector<std::uint8_t> s = tableSector({{0, 0x07, rel, count}});
        if (linkCount)
            kx::mbr::putEntry(s.data(), 1, {0, 0x05, linkRel, linkCount}, 0, 0, {});
        putSector(at, s);
    }
};

TEST_F(LabelReadDamaged, LoopingChainStopsWhereItTurnsBack)
{
    putSector(0, tableSector({{0, 0x05, 100000, 1000000}}, true));
    ebr(100000, 64, 1000, 5000, 2000);
    ebr(105000, 64, 1000, 0, 2000);  // back to the first record
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions(), (std::vector<Seen>{{1, PED_PARTITION_EXTENDED, 100000, 1099999, 0x05},
                                               {5, PED_PARTITION_LOGICAL, 100064, 101063, 0x07},
                                               {6, PED_PARTITION_LOGICAL, 105064, 106063, 0x07}}));
    EXPECT_EQ(countLines("Invalid partition table - recursive partition on \\Device\\Harddisk1\\Partition0."), 1);
}

TEST_F(LabelReadDamaged, ChainLeavingTheDiskEmptiesTheTable)
{
    putSector(0, tableSector({{0, 0x07, 2048, 4096}, {0, 0x0F, 100000, 1000000}}, true));
    ebr(100000, 64, 1000, 0x7FFFFFF0, 2000);
    EXPECT_FALSE(reread());
    ASSERT_NE(table(), nullptr);
    EXPECT_TRUE(partitions().empty());
    EXPECT_GE(countLines("outside the extended partition"), 1);
}

TEST_F(LabelReadDamaged, EntriesOutsideTheDiskOrOverlappingFailTheRead)
{
    putSector(0, tableSector({{0, 0x07, 2048, 4096}, {0, 0x07, 16000000, 1000000}}, true));
    EXPECT_FALSE(reread());
    EXPECT_TRUE(partitions().empty());
    EXPECT_GE(countLines("Can't have a partition outside the disk!"), 1);

    putSector(0, tableSector({{0, 0x07, 2048, 4096}, {0, 0x0B, 6000, 100}}, true));
    EXPECT_FALSE(reread());
    EXPECT_TRUE(partitions().empty());
    EXPECT_GE(countLines("Can't have overlapping partitions."), 1);

    // Two extended partitions side by side.
    putSector(0, tableSector({{0, 0x05, 2048, 4096}, {0, 0x05, 10000, 100}}, true));
    EXPECT_FALSE(reread());
    EXPECT_TRUE(partitions().empty());
}

TEST_F(LabelReadDamaged, EntryOnTheTableItselfIsSkipped)
{
    putSector(0, tableSector({{0, 0x07, 0, 4096}, {0, 0x07, 8192, 4096}}, true));
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions(), (std::vector<Seen>{{2, PED_PARTITION_NORMAL, 8192, 12287, 0x07}}));
    EXPECT_EQ(countLines("Invalid partition table - recursive partition on"), 1);
}

TEST_F(LabelReadDamaged, UnreadableSectorFailsTheRead)
{
    putSector(0, tableSector({{0, 0x07, 2048, 4096}}, true));
    machine::setDiskSetting(m(), 1, "fail_read_at", "0");
    EXPECT_FALSE(reread());
    EXPECT_TRUE(partitions().empty());
}

// Random tables: whatever is read must be a consistent table, and nothing
// may crash or hang.
TEST_F(LabelReadDamaged, RandomTablesReadConsistentlyOrNotAtAll)
{
    std::mt19937 rng(20240611);
    const std::uint8_t ids[] = {0x00, 0x05, 0x07, 0x0B, 0x0F, 0x17, 0x42, 0x82, 0x85, 0xEE};
    auto pick = [&](std::uint32_t below) { return static_cast<std::uint32_t>(rng() % below); };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::uint8_t> mbr(512);
        for (auto& b : mbr)
            b = static_cast<std::uint8_t>(rng());
        put16(mbr.data() + 510, 0xAA55);
        std::fill(mbr.begin() + 436, mbr.begin() + 440, 0xFF);
        std::vector<std::uint64_t> extStarts;
        for (int slot = 0; slot < 4; ++slot) {
            std::uint8_t* e = mbr.data() + 446 + 16 * slot;
            e[4] = ids[pick(sizeof ids)];
            put32(e + 8, pick(kDiskSectors));
            put32(e + 12, pick(kDiskSectors / 4));
            if (kx::mbr::isExtendedId(e[4]))
                extStarts.push_back(kx::mbr::get32(e + 8));
        }
        putSector(0, mbr);
        for (std::uint64_t at : extStarts) {
            // A few records inside: random links, some back, some onward.
            for (std::uint64_t k = 0; k < 3 && at + 1000 * k < kDiskSectors; ++k)
                ebr(at + 1000 * k, 1 + pick(200), 1 + pick(500), pick(5000), 1 + pick(3000));
        }

        if (!reread()) {
            EXPECT_TRUE(partitions().empty());
            continue;
        }
        const ::PedPartition* ext = ped_disk_extended_partition(table());
        std::vector<const ::PedPartition*> top, logical;
        for (::PedPartition* p = kx::nextTopLevel(table(), nullptr); p; p = kx::nextTopLevel(table(), p))
            top.push_back(p);
        for (::PedPartition* p = kx::nextLogical(table(), nullptr); p; p = kx::nextLogical(table(), p))
            logical.push_back(p);
        for (auto* list : {&top, &logical}) {
            for (size_t i = 0; i < list->size(); ++i) {
                const ::PedPartition* a = (*list)[i];
                EXPECT_GE(a->geom.start, 1);
                EXPECT_LT(a->geom.end, static_cast<long long>(kDiskSectors));
                for (size_t j = i + 1; j < list->size(); ++j)
                    EXPECT_TRUE(a->geom.end < (*list)[j]->geom.start || (*list)[j]->geom.end < a->geom.start);
            }
        }
        for (const ::PedPartition* l : logical) {
            ASSERT_NE(ext, nullptr);
            EXPECT_GE(l->geom.start, ext->geom.start);
            EXPECT_LE(l->geom.end, ext->geom.end);
        }
    }
}

}  // namespace

}  // namespace kx_test
