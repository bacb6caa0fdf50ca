// Placement, system ids, free space and deletion on the appliance disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "label_fixture.h"

namespace kx_test {

namespace {

class LabelLayout : public ProbedLabelTest {
protected:
    // As the disk layer asks: after the last partition of the area.
    int append(::PedPartitionType type, int code, long long sectors, int area = 0)
    {
        return appendWith(ped_part_create_partition, type, code, sectors, area);
    }
};

TEST_F(LabelLayout, FirstPartitionsLandAfterTheFirmwareAreaWith63FreeSectorsBetween)
{
    ASSERT_EQ(ped_part_create_partition(table(), PED_PARTITION_NORMAL, kx::FS_NTFS, 0, 2097151), 1);
    EXPECT_EQ(partitions(), (std::vector<Seen>{{1, PED_PARTITION_NORMAL, 131136, 2097151, 0x07}}));

    const kx::FreeSpace free = kx::ped_disk_query_free(table(), 0);
    EXPECT_EQ(free.start, 2097151u);
    EXPECT_EQ(free.limit, static_cast<std::uint64_t>(kDiskSectors));
    EXPECT_EQ(free.bytes, (8ull << 30) - (2097151ull - 131136 + 1) * 512);

    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    EXPECT_EQ(partitions().at(1), (Seen{2, PED_PARTITION_NORMAL, 2097215, 2097151 + kOneGiB - 1, 0x07}));

    // Nothing is written before the commit; then sfdisk sees the same.
    const auto untouched = sectorZero();
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](std::uint8_t b) { return b == 0; }));
    ASSERT_TRUE(commit());
    EXPECT_EQ(dump(), dumpOf(partitions()));
}

TEST_F(LabelLayout, SystemIdsFollowTheCodes)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_SYSTEM, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NONE, 4 * kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_PRIVATE_FAT32, kOneGiB, 1), 1);
    const auto list = partitions();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].system, 0x82u);
    EXPECT_EQ(list[1].system, 0x07u);
    EXPECT_EQ(list[2].system, 0x05u);  // the lba flag is never set on it
    EXPECT_EQ(list[3].system, 0x1Bu);
    EXPECT_EQ(list[3].num, 5);
    // The hidden flag is not how private partitions are told apart.
    EXPECT_EQ(ped_partition_get_flag(partition(5), PED_PARTITION_HIDDEN), 0);
    EXPECT_EQ(ped_partition_get_flag(partition(5), PED_PARTITION_LBA), 1);

    ASSERT_TRUE(commit());
    EXPECT_EQ(dump(), dumpOf(list));

    // Created with a code, the extended partition gets the lba flag and its id.
    ASSERT_EQ(kx::ped_disk_delete_all(table()), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NTFS, 4 * kOneGiB), 1);
    EXPECT_EQ(partitions().at(0).system, 0x0Fu);
}

TEST_F(LabelLayout, FlagRulesRecomputeTheSystemId)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_FAT32, kOneGiB), 1);
    ::PedPartition* p1 = partition(1);
    ::PedPartition* p2 = partition(2);
    ASSERT_EQ(ped_partition_set_flag(p1, PED_PARTITION_LVM, 1), 1);
    EXPECT_EQ(kx::partData(p1)->system, 0x8E);
    ASSERT_EQ(ped_partition_set_flag(p1, PED_PARTITION_LVM, 0), 1);
    ASSERT_EQ(ped_partition_set_flag(p1, PED_PARTITION_HIDDEN, 1), 1);
    EXPECT_EQ(kx::partData(p1)->system, 0x07);
    EXPECT_EQ(ped_partition_get_flag(p1, PED_PARTITION_HIDDEN), 0);

    ASSERT_EQ(ped_partition_set_flag(p1, PED_PARTITION_BOOT, 1), 1);
    ASSERT_EQ(ped_partition_set_flag(p2, PED_PARTITION_BOOT, 1), 1);
    EXPECT_EQ(ped_partition_get_flag(p1, PED_PARTITION_BOOT), 0);
    EXPECT_EQ(kx::partData(p2)->system, 0x0B);
    ASSERT_TRUE(commit());
    const auto sector = sectorZero();
    EXPECT_EQ(sector[446], 0x00);
    EXPECT_EQ(sector[446 + 16], 0x80);
}

TEST_F(LabelLayout, RefusedCreationsLeaveTheTableAsItWas)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    auto before = partitions();
    EXPECT_EQ(ped_part_create_partition(table(), PED_PARTITION_NORMAL, 3, 0, 3000000), 0);  // overlaps #1
    EXPECT_EQ(ped_part_create_partition(table(), PED_PARTITION_NORMAL, 3, 1, 50), 0);       // ends before it starts
    EXPECT_EQ(ped_part_create_partition(table(), PED_PARTITION_LOGICAL, 3, 3000000, 4000000), 0);  // no extended
    EXPECT_EQ(ped_part_create_partition(table(), PED_PARTITION_NORMAL, 3, 16000000, kDiskSectors), 0);  // off the end
    EXPECT_EQ(ped_part_create_partition(table(), 77, 3, 3000000, 4000000), 0);
    EXPECT_EQ(ped_part_create_partition(nullptr, PED_PARTITION_NORMAL, 3, 3000000, 4000000), 0);
    EXPECT_EQ(partitions(), before);

    for (int i = 1; i < 4; ++i)
        ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    before = partitions();
    EXPECT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 0);  // a fifth primary
    EXPECT_EQ(partitions(), before);
}

TEST_F(LabelLayout, FreeSpaceIsATotalPerArea)
{
    EXPECT_EQ(kx::ped_disk_query_free(table(), 1).bytes, 0u);  // no extended partition
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_SYSTEM, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NONE, 4 * kOneGiB), 1);
    const ::PedPartition* ext = partition(2);

    kx::FreeSpace inside = kx::ped_disk_query_free(table(), 1);
    EXPECT_EQ(inside.bytes, static_cast<std::uint64_t>(ext->geom.length) * 512);
    EXPECT_EQ(inside.start, static_cast<std::uint64_t>(ext->geom.start));
    EXPECT_EQ(inside.limit, static_cast<std::uint64_t>(ext->geom.end));

    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_NTFS, kOneGiB, 1), 1);
    const ::PedPartition* l5 = partition(5);
    EXPECT_EQ(l5->geom.start, ext->geom.start + 64);
    inside = kx::ped_disk_query_free(table(), 1);
    EXPECT_EQ(inside.bytes, static_cast<std::uint64_t>(ext->geom.length - l5->geom.length) * 512);
    EXPECT_EQ(inside.start, static_cast<std::uint64_t>(l5->geom.end));

    // The primary area counts the extended partition whole, logical ones or not.
    const kx::FreeSpace primary = kx::ped_disk_query_free(table(), 2);
    EXPECT_EQ(primary.bytes, (8ull << 30) - static_cast<std::uint64_t>(partition(1)->geom.length + ext->geom.length) * 512);
    EXPECT_EQ(primary.start, static_cast<std::uint64_t>(ext->geom.end));

    // The rest of the extended partition, then nothing.
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_NTFS, 8 * kOneGiB, 1), 1);
    EXPECT_EQ(partition(6)->geom.end, ext->geom.end - 1);  // capped one short of the limit
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_NTFS, 8 * kOneGiB, 1), 0);
}

TEST_F(LabelLayout, DeletingPartitions)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NONE, 4 * kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_NTFS, kOneGiB, 1), 1);
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);

    // Windows never showed it: no device record to drop.
    const int records = registrySize();
    ASSERT_EQ(kx::partData(partition(1))->dev, nullptr);
    EXPECT_EQ(ped_part_delete(partition(1)), 1);
    EXPECT_EQ(registrySize(), records);
    EXPECT_EQ(partition(1), nullptr);
    EXPECT_EQ(ped_part_delete(nullptr), 0);

    // The numbers freed are taken again first.
    ASSERT_EQ(ped_part_create_partition(table(), PED_PARTITION_NORMAL, 3, 0, 1000000), 1);
    EXPECT_EQ(partition(1)->geom.start, 131136);

    // The extended partition takes its logical ones along.
    EXPECT_EQ(ped_part_delete(partition(2)), 1);
    EXPECT_EQ(partition(5), nullptr);
    EXPECT_EQ(kx::ped_disk_delete_all(table()), 1);
    EXPECT_TRUE(partitions().empty());
    EXPECT_EQ(kx::ped_disk_query_free(table(), 0).bytes, 8ull << 30);
}

TEST_F(LabelLayout, OnlyOurLabelIsRegisteredAndCopiesOfTablesStandAlone)
{
    ASSERT_NE(ped_disk_type_get_next(nullptr), nullptr);
    EXPECT_STREQ(ped_disk_type_get_next(nullptr)->name, "msdos");
    EXPECT_EQ(ped_disk_type_get_next(ped_disk_type_get_next(nullptr)), nullptr);
    EXPECT_EQ(kx::ped_disk_msdos_init(), 1);  // a second start-up registers nothing twice
    EXPECT_EQ(ped_disk_type_get_next(ped_disk_type_get_next(nullptr)), nullptr);

    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_SYSTEM, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NONE, 4 * kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_PRIVATE_NTFS, kOneGiB, 1), 1);
    kx::partData(partition(5))->winpart.name = strdup("label");
    const auto before = partitions();
    ::PedDisk* copy = ped_disk_duplicate(table());
    ASSERT_NE(copy, nullptr);
    const kx::MsdosPartitionData* l5 = kx::partData(ped_disk_get_partition(copy, 5));
    ASSERT_NE(l5, nullptr);
    EXPECT_EQ(l5->fs->code, kx::FS_PRIVATE_NTFS);
    EXPECT_EQ(l5->fs->part, ped_disk_get_partition(copy, 5));
    EXPECT_STREQ(l5->winpart.name, "label");
    ped_disk_destroy(copy);
    EXPECT_EQ(partitions(), before);
    EXPECT_STREQ(kx::partData(partition(5))->winpart.name, "label");
}

TEST_F(LabelLayout, DeletingAPartitionWindowsShowsDropsItsDeviceRecord)
{
    partitionWithSfdisk(1, "label: dos\\nstart=131136, size=2097152, type=7\\n");
    ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);
    ::PedPartition* p1 = partition(1);
    ASSERT_NE(p1, nullptr);
    ASSERT_NE(kx::partData(p1)->dev, nullptr);
    const int records = registrySize();
    EXPECT_EQ(ped_part_delete(p1), 1);
    EXPECT_EQ(registrySize(), records - 1);
}

}  // namespace

}  // namespace kx_test
