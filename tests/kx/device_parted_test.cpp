// libparted on our device records: its device calls and commits reach the
// Windows backend, never a host file of its own.
#include "arch/pedwindow_internal.h"
#include "device_fixture.h"

namespace kx_test {
namespace {

class DeviceParted : public DeviceTest {
protected:
    // A whole-disk record with its extent, as the probe makes it.
    kx::PedDevice* wholeDisk(int slot)
    {
        kx::PedDevice* dev = kx::ped_device_get(wholeDiskPath(diskNumber(slot)).c_str());
        if (dev)
            kx::setDeviceExtent(dev, 0, static_cast<std::int64_t>(state()->disks[static_cast<size_t>(slot)].size));
        return dev;
    }
};

TEST_F(DeviceParted, TableIsReadThroughOurBackend)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->parted.length, (8ll << 30) / 512);
    ::PedDisk* disk = ::ped_disk_new(&dev->parted);
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(contains(logText(), "]:Read:\\Device\\Harddisk1\\Partition0, start:0x0, count:0x1\n"));
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
    ::ped_disk_destroy(disk);
}

TEST_F(DeviceParted, NestedOpensAreCountedByLibparted)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(::ped_device_open(&dev->parted), 1);
    ASSERT_EQ(::ped_device_open(&dev->parted), 1);
    EXPECT_NE(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(::ped_device_close(&dev->parted), 1);
    EXPECT_NE(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(::ped_device_close(&dev->parted), 1);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DeviceParted, CommitToTheSystemPublishesTheTable)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    ::PedDisk* disk = ::ped_disk_new(&dev->parted);
    ASSERT_NE(disk, nullptr);
    // A table Windows has not read yet.
    std::string out;
    ASSERT_EQ(testing_support::runCommand("printf 'start=2048, size=204800, type=7\\n' | sfdisk --no-reread "
                                          "--no-tell-kernel -q " + diskImage(1).string(), &out),
              0)
        << out;
    EXPECT_TRUE(state()->disks[1].partitions.empty());
    EXPECT_EQ(::ped_disk_commit_to_os(disk), 1);
    ASSERT_EQ(state()->disks[1].partitions.size(), 1u);
    EXPECT_EQ(state()->disks[1].partitions[0].offset, 2048u * 512);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
    ::ped_disk_destroy(disk);
}

TEST_F(DeviceParted, ReadOnlyDiskRefusesTheTableWrite)
{
    machine::setDiskSetting(m(), 1, "read_only", "true");
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    ::PedDisk* disk = ::ped_disk_new(&dev->parted);
    ASSERT_NE(disk, nullptr);
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    EXPECT_EQ(::ped_disk_commit_to_dev(disk), 0);
    EXPECT_TRUE(contains(logText(), "]: File Read Only!"));
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
    ::ped_disk_destroy(disk);
}

}  // namespace
}  // namespace kx_test
