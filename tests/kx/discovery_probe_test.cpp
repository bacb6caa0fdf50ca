// Building the candidate list: which disk drives become candidates and the
// records they own.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "device_fixture.h"

namespace kx_test {
namespace {

class DiscoveryProbe : public DeviceTest {
protected:
    kx::PedWinDev* onlyCandidate()
    {
        const auto list = candidateList();
        EXPECT_EQ(list.size(), 1u);
        return list.empty() ? nullptr : list.front();
    }
};

TEST_F(DiscoveryProbe, OnlyTheUsbDiskBecomesACandidate)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    kx::PedWinDev* c = onlyCandidate();
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->name, "USBSTOR\\DISK&VEN_ORVANE&PROD_APPLIANCE_DISK&REV_1.00\\ORV00000000001&0");
    EXPECT_STREQ(c->friendly_name, "ORVANE Appliance Disk USB Device");
    EXPECT_STREQ(c->dev.name, c->friendly_name);
    EXPECT_NE(c->dev.name, c->friendly_name);  // its own copy
    EXPECT_STREQ(c->dev.path, "\\Device\\Harddisk1\\Partition0");
    EXPECT_STREQ(c->disk.path, c->dev.path);
    EXPECT_EQ(c->dev.size, 8ll << 30);
    EXPECT_EQ(c->disk.size, 8ll << 30);
    EXPECT_EQ(c->dev.removable, 0);

    ASSERT_NE(c->peddev, nullptr);
    EXPECT_STREQ(c->peddev->vendor, "ORVANE");
    EXPECT_STREQ(c->peddev->product, "Appliance Disk");
    EXPECT_EQ(c->peddev->partition, 0);
    EXPECT_EQ(c->peddev->length, (8ll << 30) / 512);
    EXPECT_EQ(c->peddev->geom.start, 0);
    EXPECT_EQ(c->peddev->geom.end, (8ll << 30) / 512 - 1);
    EXPECT_EQ(c->peddev->geom.dev, c->peddev);
    EXPECT_EQ(c->peddev->parted.length, c->peddev->length);
    EXPECT_NE(c->peddev->disk, nullptr);
    // The system disk has no record: it never got past the identity match.
    for (kx::PedDevice* d = kx::registryHead(); d; d = d->next)
        EXPECT_EQ(std::string(d->path).rfind("\\Device\\Harddisk0\\", 0), std::string::npos) << d->path;
    EXPECT_EQ(kx::PedWinDeviceGetMatchDev(c->peddev), c);
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DiscoveryProbe, TwoEqualDisksGetOneDriveEach)
{
    machine::addDisk(m(), machine::DiskOptions{});
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    const auto list = candidateList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0]->dev.path, "\\Device\\Harddisk1\\Partition0");
    EXPECT_STREQ(list[1]->dev.path, "\\Device\\Harddisk2\\Partition0");
}

// Every question about a drive opens it through the temporary DOS name, so
// the journal of DOS names shows how often each drive was asked about: a
// drive late in the list must not be asked about more than the first one,
// nor an early drive once per candidate after it.
TEST_F(DiscoveryProbe, EachDriveIsAskedAboutAsOftenWhereverItIsInTheList)
{
    for (int i = 0; i < 5; ++i)
        machine::addDisk(m(), machine::DiskOptions{});
    const auto journal = m().dir() / "dos_devices.journal";
    const auto before = std::filesystem::exists(journal) ? std::filesystem::file_size(journal) : 0;
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    ASSERT_EQ(candidateList().size(), 6u);

    std::ifstream in(journal, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(before));
    std::map<std::string, int> definitions;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("+\t", 0) == 0)
            ++definitions[line.substr(line.rfind('\t') + 1)];
    const int first = definitions[partitionPath(1, 0)];
    EXPECT_GT(first, 0);
    for (int drive = 0; drive <= 6; ++drive)
        EXPECT_LE(definitions[partitionPath(drive, 0)], first) << drive;
    for (int drive = 2; drive <= 6; ++drive)
        EXPECT_EQ(definitions[partitionPath(drive, 0)], first) << drive;
}

TEST_F(DiscoveryProbe, DrivesAbove63AreNeverProbed)
{
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    while (diskNumber(1) < 63)
        ASSERT_EQ(machine::restartUsb(m(), "USB\\VID_1209&PID_4F43"), 1);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    kx::PedWinDev* c = onlyCandidate();
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->dev.path, "\\Device\\Harddisk63\\Partition0");

    kx::freeCandidates();
    ASSERT_EQ(machine::restartUsb(m(), "USB\\VID_1209&PID_4F43"), 1);
    ASSERT_EQ(diskNumber(1), 64);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    EXPECT_TRUE(candidateList().empty());
    EXPECT_EQ(registrySize(), 0);
}

TEST_F(DiscoveryProbe, GoneDiskLeavesTheList)
{
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    ASSERT_EQ(candidateList().size(), 1u);
    machine::unplug(m(), 1);
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    EXPECT_TRUE(candidateList().empty());
    EXPECT_EQ(registrySize(), 0);
}

TEST_F(DiscoveryProbe, UnreadableTableDropsTheCandidate)
{
    machine::setDiskSetting(m(), 1, "fail_read_at", "0");
    ASSERT_EQ(kx::PedWinDeviceProbe(), 1);
    EXPECT_TRUE(candidateList().empty());
    EXPECT_EQ(registrySize(), 0);
    EXPECT_TRUE(contains(logText(), "ERR:[.\\arch\\pedwindow:ped_dev_win_probe:"));
    EXPECT_TRUE(contains(logText(), "]:Fail to ped_disk_probe();"));
}

}  // namespace
}  // namespace kx_test
