// Committing tables: sector 0 as the appliance keeps it, and logical
// partitions that other tools read back exactly.
#include <gtest/gtest.h>

#include <algorithm>

#include "label_fixture.h"
#include "labels/pedmsdos_sector.h"

namespace kx_test {

namespace {

class LabelWrite : public ProbedLabelTest {
protected:
    int append(::PedPartitionType type, int code, long long sectors, int area = 0)
    {
        return appendWith(kx::createPartition, type, code, sectors, area);
    }

    std::string dumpText()
    {
        std::string out;
        testing_support::runCommand("sfdisk --dump " + diskImage(1).string(), &out);
        return out;
    }
};

TEST_F(LabelWrite, BlankDiskGetsBootCodeSignatureAndMarker)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_SYSTEM, kOneGiB), 1);
    ASSERT_TRUE(commit());
    const auto s = sectorZero();
    const auto& boot = kx::mbr::defaultBootCode();
    EXPECT_TRUE(std::equal(boot.begin(), boot.end(), s.begin()));
    EXPECT_TRUE(std::all_of(s.begin() + 75, s.begin() + 436, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(s.begin() + 436, s.begin() + 440, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_NE(kx::mbr::get32(s.data() + 440), 0u);
    EXPECT_EQ(s[510], 0x55);
    EXPECT_EQ(s[511], 0xAA);
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 1966016, 0x82}}));
}

TEST_F(LabelWrite, CommitKeepsBootAreaUserBlockAndSignature)
{
    std::vector<std::uint8_t> old(512);
    for (size_t i = 0; i < 446; ++i)
        old[i] = static_cast<std::uint8_t>(0xEB + i * 13);
    kx::mbr::put32(old.data() + 440, 0x12345678);
    putSector(0, old);  // boot code, no table yet
    ASSERT_TRUE(reread());

    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    ASSERT_TRUE(commit());
    const auto s = sectorZero();
    EXPECT_TRUE(std::equal(old.begin(), old.begin() + 436, s.begin()));
    EXPECT_TRUE(std::all_of(s.begin() + 436, s.begin() + 440, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(kx::mbr::get32(s.data() + 440), 0x12345678u);
    EXPECT_NE(dumpText().find("label-id: 0x12345678"), std::string::npos);

    // A second commit changes nothing but the entries.
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    ASSERT_TRUE(commit());
    const auto again = sectorZero();
    EXPECT_TRUE(std::equal(s.begin(), s.begin() + 446, again.begin()));
}

TEST_F(LabelWrite, LogicalPartitionsReadBackIdenticallyBySfdiskAndByUs)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_SYSTEM, kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_EXTENDED, kx::FS_NONE, 16 * kOneGiB), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_NTFS, kOneGiB, 1), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_PRIVATE_FAT32, kOneGiB / 2, 1), 1);
    ASSERT_EQ(append(PED_PARTITION_LOGICAL, kx::FS_FAT, 16 * kOneGiB, 1), 1);
    const auto made = partitions();
    ASSERT_EQ(made.size(), 5u);
    ASSERT_TRUE(commit());

    EXPECT_EQ(dump(), dumpOf(made));
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions(), made);
    EXPECT_EQ(codeOf(6), kx::FS_PRIVATE_FAT32);
    EXPECT_EQ(codeOf(7), kx::FS_FAT);
}

TEST_F(LabelWrite, EmptiedExtendedPartitionCutsTheOldChain)
{
    partitionWithSfdisk(1,
                        "label: dos\\n"
                        "start=2048, size=204800, type=7\\n"
                        "start=206848, size=1048576, type=5\\n"
                        "start=208896, size=204800, type=b\\n"
                        "start=415744, size=204800, type=7\\n");
    ASSERT_TRUE(reread());
    ASSERT_EQ(kx::deletePartition(partition(6)), 1);
    ASSERT_EQ(kx::deletePartition(partition(5)), 1);
    ASSERT_TRUE(commit());
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 2048, 204800, 0x07}, {2, 206848, 1048576, 0x05}}));
    ASSERT_TRUE(reread());
    EXPECT_EQ(partitions().size(), 2u);
}

TEST_F(LabelWrite, FailedWriteReportsFailure)
{
    ASSERT_EQ(append(PED_PARTITION_NORMAL, kx::FS_NTFS, kOneGiB), 1);
    machine::setDiskSetting(m(), 1, "fail_write_at", "0");
    EXPECT_FALSE(commit());
    const auto s = sectorZero();
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace

}  // namespace kx_test
