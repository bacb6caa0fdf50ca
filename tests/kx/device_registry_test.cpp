// The registry of device records, the front functions' checks, the
// diagnostic print and the device constraint.
#include "device_fixture.h"

namespace kx_test {
namespace {

using DeviceRegistry = DeviceTest;

TEST_F(DeviceRegistry, RecordsAreAppendedAndNeverShared)
{
    kx::PedDevice* a = kx::ped_device_get("\\Device\\Harddisk1\\Partition0");
    kx::PedDevice* b = kx::ped_device_get("\\Device\\Harddisk1\\Partition1");
    kx::PedDevice* again = kx::ped_device_get("\\Device\\Harddisk1\\Partition0");
    ASSERT_TRUE(a && b && again);
    EXPECT_NE(a, again);
    EXPECT_EQ(kx::registryHead(), a);
    EXPECT_EQ(kx::ped_device_get_next(a), b);
    EXPECT_EQ(kx::ped_device_get_next(b), again);
    EXPECT_EQ(kx::ped_device_get_next(again), nullptr);

    // Taking a record out keeps the order of the rest.
    kx::ped_device_cache_remove(b);
    EXPECT_EQ(kx::ped_device_get_next(a), again);
    EXPECT_EQ(registrySize(), 2);
    kx::ped_device_destroy(b);  // no longer registered: only destroyed

    kx::ped_device_destroy(a);
    EXPECT_EQ(kx::registryHead(), again);
    kx::ped_device_probe("\\Device\\Harddisk0\\Partition0");
    EXPECT_EQ(registrySize(), 2);
}

TEST_F(DeviceRegistry, MissingArgumentsAreReported)
{
    std::vector<std::uint8_t> buffer(512);
    EXPECT_EQ(kx::ped_device_get(nullptr), nullptr);
    EXPECT_EQ(kx::ped_device_read(nullptr, buffer.data(), 0, 1), 0);
    kx::PedDevice* dev = kx::ped_device_get("\\Device\\Harddisk1\\Partition0");
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(kx::ped_device_read(dev, nullptr, 0, 1), 0);
    EXPECT_EQ(kx::ped_device_write(dev, nullptr, 0, 1), 0);
    EXPECT_EQ(kx::ped_device_open(nullptr), 0);
    kx::ped_device_destroy(nullptr);
    int count = -7;
    EXPECT_EQ(kx::PedDeviceIsChange(&count, nullptr), 0);
    EXPECT_EQ(kx::PedWinDeviceIsChange(&count, nullptr), -1);
    EXPECT_EQ(count, -7);

    const std::string log = logText();
    EXPECT_TRUE(contains(log, "[.\\parted\\peddevice]:ped_device_get(")) << log;
    EXPECT_TRUE(contains(log, "): path == NULL\n"));
    EXPECT_TRUE(contains(log, "]:ped_device_read("));
    EXPECT_TRUE(contains(log, "): dev == NULL\n"));
    EXPECT_TRUE(contains(log, "): buffer == NULL\n"));
    EXPECT_TRUE(contains(log, "): incnop != NULL && decnop != NULL\n"));
    EXPECT_TRUE(contains(log, "): incnop == NULL || decnop == NULL\n"));
    // Nothing reached the device.
    EXPECT_FALSE(contains(log, "Read:"));
    EXPECT_FALSE(contains(log, "Write["));
}

TEST_F(DeviceRegistry, PrintShowsWhatIsSet)
{
    kx::PedDevice* dev = kx::ped_device_get("\\Device\\Harddisk1\\Partition0");
    ASSERT_NE(dev, nullptr);
    testing::internal::CaptureStdout();
    kx::ped_device_print(dev);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Path: \\Device\\Harddisk1\\Partition0\tRemovable: no\tPartition: no\ttype: 0\tsector_size: 512\t"
              "phys_sector_size: 512\tlength: 0\n");

    dev->mount_point = strdup("E:");
    dev->vendor = strdup("ORVANE");
    dev->product = strdup("Appliance Disk");
    dev->removable = 1;
    dev->partition = 1;
    dev->size = 1048576;
    dev->length = 2048;
    testing::internal::CaptureStdout();
    kx::ped_device_print(dev);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Path: \\Device\\Harddisk1\\Partition0\tMount Point: E:\nVendor Name: ORVANE\t"
              "Product Name: Appliance Disk\tRemovable: yes\tPartition: yes\tSize: 1048576\ttype: 0\t"
              "sector_size: 512\tphys_sector_size: 512\tlength: 2048\n");
}

TEST_F(DeviceRegistry, ConstraintCoversTheWholeDevice)
{
    kx::PedDevice* dev = kx::ped_device_get("\\Device\\Harddisk1\\Partition0");
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(kx::ped_device_get_constraint(dev), nullptr);  // no extent yet

    dev->length = 4096;
    dev->parted.length = 4096;
    ::PedConstraint* c = kx::ped_device_get_constraint(dev);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->start_align->grain_size, 1);
    EXPECT_EQ(c->end_align->grain_size, 1);
    EXPECT_EQ(c->start_range->start, 0);
    EXPECT_EQ(c->start_range->length, 4096);
    EXPECT_EQ(c->end_range->start, 0);
    EXPECT_EQ(c->end_range->length, 4096);
    EXPECT_EQ(c->min_size, 1);
    EXPECT_EQ(c->max_size, 4096);
    EXPECT_EQ(c->start_range->dev, &dev->parted);
    ped_constraint_destroy(c);
}

}  // namespace
}  // namespace kx_test
