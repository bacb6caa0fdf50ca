// Deleting partitions through the API, and table changes that could not be
// written: none of them may be reported as done.
#include "disk_api_fixture.h"

namespace kx_test {
namespace {

class PartDelete : public DiskApiTest {
protected:
    void SetUp() override
    {
        DiskApiTest::SetUp();
        layTable("start=131136, size=1966016, type=82\\n"
                 "start=2097215, size=2097152, type=7\\n"
                 "start=4194367, size=2097152, type=7\\n");
    }

    PedWinPart* nth(int n)
    {
        PedWinPart* p = kx_part_getinfo(disk(), nullptr, KX_PART_ALL);
        while (p && --n > 0)
            p = kx_part_getinfo(disk(), p, KX_PART_ALL);
        return p;
    }
};

TEST_F(PartDelete, DeletingOnePartitionWritesTheRestAndLogsItsPath)
{
    PedWinPart* second = nth(2);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second->path, nullptr);
    const std::string path = second->path;

    EXPECT_EQ(kx_part_delete(second), 1);
    EXPECT_EQ(dump(), (std::vector<DumpEntry>{{1, 131136, 1966016, 0x82}, {3, 4194367, 2097152, 0x07}}));
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_part_delete:",
                               "]: Success to delete partition: " + path));
    EXPECT_EQ(kx_part_num(disk(), KX_PART_ALL), 2);
}

TEST_F(PartDelete, AHandleNoTableHoldsIsRefused)
{
    PedWinPart stranger{};
    EXPECT_EQ(kx_part_delete(&stranger), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_part_delete:",
                               "]: Fail to get the device: (null)"));
    EXPECT_EQ(dump().size(), 3u);
}

TEST_F(PartDelete, DeleteAllEmptiesTheTableButKeepsSectorZerosOtherBytes)
{
    std::vector<std::uint8_t> boot(216, 0x5A);
    putImageBytes(1, 0, boot);
    const auto before = sectorZero();

    EXPECT_EQ(kx_part_delete_all(disk()), 1);
    EXPECT_TRUE(dump().empty());
    const auto after = sectorZero();
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin(), after.begin() + 436),
              std::vector<std::uint8_t>(before.begin(), before.begin() + 436));
    EXPECT_EQ(kx_part_getinfo(disk(), nullptr, KX_PART_ALL), nullptr);
    // The counts describe the table as last read.
    EXPECT_EQ(kx_part_num(disk(), KX_PART_ALL), 3);
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 1);
    EXPECT_EQ(kx_part_num(disk(), KX_PART_ALL), 0);
}

TEST_F(PartDelete, TableChangesThatCannotBeWrittenAreFailures)
{
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    machine::setDiskSetting(m(), 1, "fail_write_at", "0");

    EXPECT_EQ(kx_part_delete_all(disk()), 0);
    ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);  // back to what the disk holds
    EXPECT_EQ(kx_part_delete(nth(3)), 0);
    ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);
    EXPECT_EQ(kx_part_delete_all(disk()), 0);
    EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_NTFS, kGiB), 0);
    ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);
    EXPECT_EQ(kx_part_create_pnum(disk(), 1, kGiB, 0, 0, kGiB), 0);

    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
}

}  // namespace
}  // namespace kx_test
