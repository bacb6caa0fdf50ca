// Whole-sector transfers of device records on the emulated disks.
#include <cstring>
#include <numeric>

#include "device_fixture.h"

namespace kx_test {
namespace {

class DeviceIo : public DeviceTest {
protected:
    kx::PedDevice* wholeDisk(int slot)
    {
        kx::PedDevice* dev = kx::ped_device_get(wholeDiskPath(diskNumber(slot)).c_str());
        EXPECT_NE(dev, nullptr);
        return dev;
    }

    static std::vector<std::uint8_t> pattern(size_t size, std::uint8_t seed)
    {
        std::vector<std::uint8_t> bytes(size);
        std::iota(bytes.begin(), bytes.end(), seed);
        return bytes;
    }
};

TEST_F(DeviceIo, SectorsBeyondFourGibibytesReachTheirOwnOffset)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    const std::int64_t sector = (std::int64_t{1} << 32) / 512 + 5;
    const auto bytes = pattern(1024, 7);
    ASSERT_EQ(kx::ped_device_write(dev, bytes.data(), sector, 2), 1);
    EXPECT_EQ(dev->dirty, 1);
    EXPECT_EQ(imageBytes(1, static_cast<std::uint64_t>(sector) * 512, 1024), bytes);
    // Nothing at the offset a 32-bit product would have given.
    EXPECT_EQ(imageBytes(1, 5 * 512, 1024), std::vector<std::uint8_t>(1024, 0));

    const auto other = pattern(512, 99);
    putImageBytes(1, static_cast<std::uint64_t>(sector + 100) * 512, other);
    std::vector<std::uint8_t> read(512);
    ASSERT_EQ(kx::ped_device_read(dev, read.data(), sector + 100, 1), 1);
    EXPECT_EQ(read, other);
    EXPECT_TRUE(contains(logText(), "]:Read:" + wholeDiskPath(diskNumber(1)) + ", start:0x800069, count:0x1\n"));
    EXPECT_TRUE(contains(logText(), "Write[" + wholeDiskPath(diskNumber(1)) + "], start:0x800005, count:0x2\n"));
}

TEST_F(DeviceIo, EveryTransferClosesTheDeviceAndItsDosName)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    std::vector<std::uint8_t> sector(512);
    ASSERT_EQ(kx::ped_device_read(dev, sector.data(), 0, 1), 1);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
    ASSERT_EQ(kx::ped_device_write(dev, sector.data(), 1, 1), 1);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());

    // An open leaves the device open under the name until it is closed.
    ASSERT_EQ(kx::ped_device_open(dev), 1);
    EXPECT_NE(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(tempNameDefined());
    EXPECT_EQ(kx::ped_device_close(dev), 1);
    EXPECT_FALSE(tempNameDefined());
    EXPECT_EQ(kx::ped_device_close(dev), 1);
}

TEST_F(DeviceIo, ReadOnlyDeviceReadsButRefusesWrites)
{
    const auto bytes = pattern(512, 3);
    putImageBytes(1, 512 * 10, bytes);
    machine::setDiskSetting(m(), 1, "read_only", "true");
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);

    std::vector<std::uint8_t> read(512);
    ASSERT_EQ(kx::ped_device_read(dev, read.data(), 10, 1), 1);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(dev->read_only, 1);

    const auto other = pattern(512, 200);
    EXPECT_EQ(kx::ped_device_write(dev, other.data(), 10, 1), 0);
    EXPECT_EQ(dev->dirty, 0);
    EXPECT_EQ(imageBytes(1, 512 * 10, 512), bytes);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    const std::string log = logText();
    EXPECT_TRUE(contains(log, "ERR:[.\\arch\\pedwindow:ped_dev_win_write:")) << log;
    EXPECT_EQ(log.substr(log.size() - std::strlen("]: File Read Only!")), "]: File Read Only!");
}

TEST_F(DeviceIo, DeviceFaultsFailTheTransfer)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    std::vector<std::uint8_t> buffer(4096, 0x5A);

    machine::setDiskSetting(m(), 1, "fail_read_at", "40");
    EXPECT_EQ(kx::ped_device_read(dev, buffer.data(), 36, 8), 0);
    EXPECT_TRUE(contains(logText(), "]:Fail to ReadFile, length:4096, Error = 23\n"));
    EXPECT_EQ(kx::ped_device_read(dev, buffer.data(), 41, 8), 1);

    machine::setDiskSetting(m(), 1, "fail_write_at", "50");
    EXPECT_EQ(kx::ped_device_write(dev, buffer.data(), 50, 1), 0);
    EXPECT_TRUE(contains(logText(), "]: Fail to WriteFile()"));
    EXPECT_EQ(dev->dirty, 0);

    // A write cut short is no success either.
    machine::setDiskSetting(m(), 1, "short_write_at", "62");
    EXPECT_EQ(kx::ped_device_write(dev, buffer.data(), 60, 8), 0);
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DeviceIo, ReadPastTheEndIsNotASuccess)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    const std::int64_t last = static_cast<std::int64_t>(state()->disks[1].size / 512) - 1;
    std::vector<std::uint8_t> buffer(1024, 0x11);
    EXPECT_EQ(kx::ped_device_read(dev, buffer.data(), last, 1), 1);
    // Windows moves only the last sector; the second half would stay stale.
    EXPECT_EQ(kx::ped_device_read(dev, buffer.data(), last, 2), 0);
    EXPECT_TRUE(contains(logText(), "]:Fail to ReadFile, length:1024, Error = 38\n"));
}

TEST_F(DeviceIo, VanishedDeviceFailsToOpenAndLeavesNoName)
{
    kx::PedDevice* dev = wholeDisk(1);
    ASSERT_NE(dev, nullptr);
    const std::string path = dev->path;
    std::vector<std::uint8_t> buffer(512);
    machine::setDiskSetting(m(), 1, "vanish_at", "8");
    EXPECT_EQ(kx::ped_device_write(dev, buffer.data(), 8, 1), 0);
    EXPECT_FALSE(state()->disks[1].present);

    EXPECT_EQ(kx::ped_device_read(dev, buffer.data(), 0, 1), 0);
    EXPECT_TRUE(contains(logText(), "]: Fail to create file: " + path + "\n"));
    EXPECT_EQ(*dev->handle, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tempNameDefined());
}

}  // namespace
}  // namespace kx_test
