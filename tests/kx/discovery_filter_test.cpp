// The filters by which the application picks disks, the USB parent of a
// disk, the removable tests and the set-up verdict.
#include "device_fixture.h"

namespace kx_test {
namespace {

class DiscoveryFilter : public DeviceTest {
protected:
    int addUsbDisk(std::uint16_t vid, bool removable)
    {
        machine::DiskOptions options;
        options.vid = vid;
        options.removable = removable;
        return machine::addDisk(m(), options);
    }

    std::vector<std::string> offered(int flag, int vid)
    {
        std::vector<std::string> paths;
        for (kx_device* d = kx::nextMatchingDevice(nullptr, flag, vid); d; d = kx::nextMatchingDevice(d, flag, vid))
            paths.push_back(d->path);
        return paths;
    }
};

using Paths = std::vector<std::string>;

TEST_F(DiscoveryFilter, OnlyUsbStorageDisksAreOffered)
{
    machine::DiskOptions scsi;
    scsi.usb = false;
    machine::addDisk(m(), scsi);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    // The SCSI disk is a candidate, but not a USB storage one.
    ASSERT_EQ(candidateList().size(), 2u);
    EXPECT_EQ(offered(0, 0), Paths{wholeDiskPath(1)});
    kx_device stranger{};
    EXPECT_EQ(kx::nextMatchingDevice(&stranger, 0, 0), nullptr);
}

TEST_F(DiscoveryFilter, FlagTwoOffersOnlyRemovableDisks)
{
    addUsbDisk(0x1209, true);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    EXPECT_EQ(offered(0, 0), (Paths{wholeDiskPath(1), wholeDiskPath(2)}));
    EXPECT_EQ(offered(1, 0), (Paths{wholeDiskPath(1), wholeDiskPath(2)}));
    EXPECT_EQ(offered(2, 0), Paths{wholeDiskPath(2)});
    // The label reads the flag through the disk's record.
    const auto list = candidateList();
    EXPECT_EQ(kx::removableOf(list[0]->peddev), 0);
    EXPECT_EQ(kx::removableOf(list[1]->peddev), 1);
}

TEST_F(DiscoveryFilter, VendorIdIsMatchedAsFourUpperCaseHexDigits)
{
    addUsbDisk(0x0A1B, false);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    EXPECT_EQ(offered(0, 0x1209), Paths{wholeDiskPath(1)});
    EXPECT_EQ(offered(0, 0x0a1b), Paths{wholeDiskPath(2)});
    EXPECT_TRUE(offered(0, 0xA1B0).empty());
    EXPECT_TRUE(offered(0, 0x0A1).empty());
}

TEST_F(DiscoveryFilter, UsbParentIdOfADisk)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    char out[KX_USB_ID_SIZE] = {};
    ASSERT_EQ(kx::PwdWinDeviceGetVidInfo(wholeDiskPath(1).c_str(), out), 1);
    EXPECT_STREQ(out, "USB\\VID_1209&PID_4F43\\ORV00000000001");
    EXPECT_EQ(kx::PwdWinDeviceGetVidInfo(wholeDiskPath(5).c_str(), out), 0);
}

TEST_F(DiscoveryFilter, RegistryRemovableTestOnOlderWindows)
{
    useOs("xp");
    addUsbDisk(0x1209, true);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    const auto list = candidateList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->dev.removable, 0);
    EXPECT_EQ(list[1]->dev.removable, 1);
    EXPECT_EQ(kx::isRemovableDisk("USBSTOR\\DISK&VEN_NOBODY\\1&0"), 0);
    const std::string log = logText();
    EXPECT_TRUE(contains(log, "OK:[.\\arch\\pedwinbase:isRemovableDisk:")) << log;
    EXPECT_TRUE(contains(log, "]:Miss " + std::string(list[0]->name) + ", subkey="));
    EXPECT_TRUE(contains(log, "]:Miss USBSTOR\\DISK&VEN_NOBODY\\1&0, subkey=, value= \n"));
    // The drive-number test is for newer releases only.
    EXPECT_FALSE(contains(log, "Fail to ioctl(IOCTL_STORAGE_QUERY_PROPERTY)"));
}

struct VerdictCase {
    const char* name;
    const char* table;  // sfdisk script, none for a blank disk
    int verdict;
};

class SetUpVerdict : public DiscoveryFilter, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(SetUpVerdict, FollowsTheFirstPartition)
{
    if (GetParam().table)
        partitionWithSfdisk(1, GetParam().table);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    showPartitions(candidateList().front());
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(1).c_str()), GetParam().verdict);
}

const VerdictCase kVerdicts[] = {
    {"Blank", nullptr, 0},
    {"AtTheLayoutStart", "start=122880, size=204800, type=7\\n", 1},
    {"OneSectorLater", "start=122881, size=204800, type=7\\n", 2},
    {"GuidTable", "label: gpt\\nstart=2048, size=204800\\n", 2},
};
INSTANTIATE_TEST_SUITE_P(Tables, SetUpVerdict, ::testing::ValuesIn(kVerdicts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryFilter, VerdictLooksOnlyAtTheDisksOwnRecords)
{
    // The first disk is blank; the second one's partition starts late.
    const int slot = machine::addDisk(m(), machine::DiskOptions{});
    partitionWithSfdisk(slot, "start=200000, size=204800, type=7\\n");
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    for (kx::PedWinDev* c : candidateList())
        showPartitions(c);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(1).c_str()), 0);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(2).c_str()), 2);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(7).c_str()), 3);

    // After the table is read again, the records of the old partitions
    // are still registered but no longer count.
    partitionWithSfdisk(1, "start=2048, size=204800, type=7\\n");
    kx::PedWinDev* first = candidateList().front();
    ASSERT_NE(kx::ped_disk_probe(first->peddev), nullptr);
    showPartitions(first);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(1).c_str()), 1);
    partitionWithSfdisk(1, "start=200000, size=204800, type=7\\n");
    ASSERT_NE(kx::ped_disk_probe(first->peddev), nullptr);
    showPartitions(first);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(wholeDiskPath(1).c_str()), 2);
    EXPECT_EQ(kx::PedWinDeviceIsNeedFormat(nullptr), 0);
    EXPECT_TRUE(contains(logText(), "): devpath == NULL\n"));
}

}  // namespace
}  // namespace kx_test
