// Whether disk drives came or went, and keeping a disk's record when
// Windows brings it back under a new instance id or number.
#include "device_fixture.h"

namespace kx_test {
namespace {

constexpr const char* kUsbHardwareId = "USB\\VID_1209&PID_4F43";

using DiscoveryChange = DeviceTest;

TEST_F(DiscoveryChange, DriveThatNeverBecameACandidateCountsEveryTime)
{
    int increase = -1, decrease = -1;
    EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 1);
    EXPECT_EQ(increase, 2);  // nothing probed yet
    EXPECT_EQ(decrease, 0);

    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 1);
        EXPECT_EQ(increase, 1);  // the system disk
        EXPECT_EQ(decrease, 0);
    }
    EXPECT_EQ(kx::PedDeviceIsChange(&increase, &decrease), 1);
}

TEST_F(DiscoveryChange, GoneAndNewDrivesAreCounted)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    machine::unplug(m(), 1);
    int increase = -1, decrease = -1;
    EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 3);
    EXPECT_EQ(increase, 1);
    EXPECT_EQ(decrease, 1);

    machine::plug(m(), 1);
    machine::addDisk(m(), machine::DiskOptions{});
    EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 1);
    EXPECT_EQ(increase, 2);
    EXPECT_EQ(decrease, 0);
}

TEST_F(DiscoveryChange, NewInstanceIdKeepsTheRecordAndTable)
{
    partitionWithSfdisk(1, "start=2048, size=204800, type=7\\n");
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    ASSERT_EQ(candidateList().size(), 1u);
    kx::PedWinDev* old = candidateList().front();
    kx::PedDevice* record = old->peddev;
    ::PedDisk* table = record->disk;
    const int records = registrySize();

    machine::setDiskSetting(m(), 1, "restart_new_instance", "true");
    ASSERT_EQ(machine::restartUsb(m(), kUsbHardwareId), 1);
    int increase = 0, decrease = 0;
    EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 3);
    EXPECT_EQ(increase, 2);
    EXPECT_EQ(decrease, 1);

    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    const auto list = candidateList();
    ASSERT_EQ(list.size(), 1u);
    kx::PedWinDev* now = list.front();
    EXPECT_STREQ(now->name, "USBSTOR\\DISK&VEN_ORVANE&PROD_APPLIANCE_DISK&REV_1.00\\ORV00000000001&1");
    EXPECT_EQ(now->peddev, record);
    EXPECT_EQ(record->disk, table);
    EXPECT_STREQ(now->dev.path, "\\Device\\Harddisk1\\Partition0");
    EXPECT_EQ(now->dev.size, 8ll << 30);
    EXPECT_EQ(now->disk.primary, 1);
    EXPECT_EQ(registrySize(), records);
    EXPECT_EQ(kx::PedWinDeviceIsChange(&increase, &decrease), 1);
}

TEST_F(DiscoveryChange, NewNumberGivesAFreshRecord)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    kx::PedDevice* record = candidateList().front()->peddev;
    machine::setDiskSetting(m(), 1, "restart_new_instance", "true");
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    ASSERT_EQ(machine::restartUsb(m(), kUsbHardwareId), 1);

    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    const auto list = candidateList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list.front()->dev.path, wholeDiskPath(diskNumber(1)).c_str());
    EXPECT_NE(list.front()->peddev, record);
    EXPECT_EQ(registrySize(), 1);
}

TEST_F(DiscoveryChange, KnownDriveWhosePathMovedLosesItsRecord)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    kx::PedWinDev* c = candidateList().front();
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    ASSERT_EQ(machine::restartUsb(m(), kUsbHardwareId), 1);

    // Same instance id, so the candidate stays, but without a record.
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    ASSERT_EQ(candidateList().size(), 1u);
    EXPECT_EQ(candidateList().front(), c);
    EXPECT_EQ(c->peddev, nullptr);
    EXPECT_EQ(registrySize(), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\arch\\pedwinbase:keepKnownDrive:",
                               "]:Fail Miss match[\\Device\\Harddisk1\\Partition0]: " + std::string(c->name)));
}

TEST_F(DiscoveryChange, ValidityFollowsThePath)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    kx::PedWinDev* c = candidateList().front();
    EXPECT_EQ(kx::PedWinDeviceValid(c), 1);
    machine::unplug(m(), 1);
    EXPECT_EQ(kx::PedWinDeviceValid(c), 0);
    // Nobody present can take over; the record stays where it is.
    EXPECT_EQ(kx::PedWinDeviceMissMatch(c), 0);

    kx::PedWinDev bare{};
    EXPECT_EQ(kx::PedWinDeviceValid(&bare), 0);
    EXPECT_EQ(kx::PedWinDeviceValid(nullptr), 0);
    EXPECT_TRUE(contains(logText(), "): dev != NULL && dev->peddev = NULL && dev->peddev->path\n"));
    EXPECT_EQ(kx::PedWinDeviceMissMatch(nullptr), 0);
    EXPECT_TRUE(contains(logText(), "]:PedWinDeviceMissMatch("));
}

}  // namespace
}  // namespace kx_test
