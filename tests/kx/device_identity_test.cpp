// Questions about kernel paths and physical drives: does a path open, its
// partition information, drive letters, SCSI identity, removability and
// the friendly-name match.
#include <cstring>

#include "device_fixture.h"

namespace kx_test {
namespace {

class DeviceIdentity : public DeviceTest {
protected:
    // A candidate that only carries a friendly name.
    static kx::PedWinDev named(const char* friendly)
    {
        kx::PedWinDev candidate{};
        candidate.friendly_name = const_cast<char*>(friendly);
        return candidate;
    }
};

TEST_F(DeviceIdentity, PathsOpenOnlyWhileTheyExist)
{
    EXPECT_EQ(kx::pathExists(wholeDiskPath(0).c_str()), 1);
    EXPECT_EQ(kx::pathExists(wholeDiskPath(1).c_str()), 1);
    EXPECT_EQ(kx::pathExists(wholeDiskPath(7).c_str()), 0);
    EXPECT_EQ(kx::pathExists(partitionPath(1, 1).c_str()), 0);  // blank disk
    machine::unplug(m(), 1);
    EXPECT_EQ(kx::pathExists(wholeDiskPath(1).c_str()), 0);
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DeviceIdentity, PartitionInformationAndLetters)
{
    partitionWithSfdisk(1, "start=2048, size=204800, type=7\\nstart=206848, size=204800, type=17\\n"
                           "start=411648, size=204800, type=b\\n");
    win::PARTITION_INFORMATION info{};
    ASSERT_EQ(kx::partitionInformation(partitionPath(1, 2).c_str(), &info), 1);
    EXPECT_EQ(info.StartingOffset.QuadPart, 206848ll * 512);
    EXPECT_EQ(info.PartitionLength.QuadPart, 204800ll * 512);
    EXPECT_EQ(info.PartitionNumber, 2u);
    EXPECT_EQ(info.PartitionType, 0x17);
    EXPECT_EQ(kx::partitionInformation(partitionPath(1, 4).c_str(), &info), 0);

    // Held: a later read replaces the cached state this would point into.
    const auto snapshot = state();
    const auto& parts = snapshot->disks[1].partitions;
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(kx::driveLetter(partitionPath(1, 1).c_str()), parts[0].letter - 'A');
    EXPECT_EQ(kx::driveLetter(partitionPath(1, 3).c_str()), parts[2].letter - 'A');
    EXPECT_NE(parts[0].letter, parts[2].letter);
    // Hidden types get no letter, and the system disk's volume is C:.
    EXPECT_EQ(kx::driveLetter(partitionPath(1, 2).c_str()), -1);
    EXPECT_EQ(kx::driveLetter(partitionPath(0, 1).c_str()), 'C' - 'A');
    EXPECT_EQ(kx::driveLetter(partitionPath(1, 9).c_str()), -1);
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DeviceIdentity, InquiryGivesTheTrimmedIdentity)
{
    char vendor[9], product[17], version[5];
    ASSERT_EQ(kx::ped_dev_get_info(diskNumber(1), vendor, product, version), 1);
    EXPECT_STREQ(vendor, "ORVANE");
    EXPECT_STREQ(product, "Appliance Disk");
    EXPECT_STREQ(version, "1.00");
    ASSERT_EQ(kx::ped_dev_get_info(0, vendor, product, version), 1);
    EXPECT_STREQ(vendor, "ATA");
    EXPECT_STREQ(product, "SATA SSD 64GB");

    // Full-width fields keep every character; padding blanks and tabs go.
    machine::setDiskSetting(m(), 1, "vendor", "VENDOR12");
    machine::setDiskSetting(m(), 1, "product", "Disk\t");
    ASSERT_EQ(kx::ped_dev_get_info(diskNumber(1), vendor, product, version), 1);
    EXPECT_STREQ(vendor, "VENDOR12");
    EXPECT_STREQ(product, "Disk");

    EXPECT_EQ(kx::ped_dev_get_info(9, vendor, product, version), 0);
    EXPECT_TRUE(contains(logText(), "ERR:[.\\arch\\pedwindow:ped_dev_get_info:"));
    EXPECT_TRUE(contains(logText(), "]: Fail to get information"));
    EXPECT_EQ(kx::ped_dev_get_info(1, vendor, nullptr, version), 0);
    EXPECT_TRUE(contains(logText(), "): vendor != NULL && product != NULL && version != NULL\n"));
}

TEST_F(DeviceIdentity, RemovableFromTheStorageProperty)
{
    EXPECT_EQ(kx::isRemovableDiskEx(diskNumber(1)), 0);
    EXPECT_TRUE(contains(logText(), "]: \\\\.\\PhysicalDrive1 Fail to ioctl(IOCTL_STORAGE_QUERY_PROPERTY)\n"));
    machine::setDiskSetting(m(), 1, "removable", "true");
    EXPECT_EQ(kx::isRemovableDiskEx(diskNumber(1)), 1);
    EXPECT_EQ(kx::isRemovableDiskEx(9), 0);
    EXPECT_TRUE(contains(logText(), "]: Fail to open \\\\.\\PhysicalDrive9\n"));
}

TEST_F(DeviceIdentity, FriendlyNameMatch)
{
    struct Case {
        const char* friendly;
        int matches;
    } const cases[] = {
        {"ORVANE Appliance Disk USB Device", 1},
        {"ORVANEAppliance Disk USB Device", 0},  // a USB name has the blank
        {"ORVANE Appliance Disk", 1},
        {"ORVANEAppliance Disk", 1},
        {"ORVANE Appliance Disk SCSI Disk Device", 1},
        {"Other Appliance Disk USB Device", 0},
        {"ORVANE Appliance", 0},
    };
    for (const Case& c : cases) {
        const kx::PedWinDev candidate = named(c.friendly);
        EXPECT_EQ(kx::ped_dev_win_match(&candidate, "ORVANE", "Appliance Disk", "1.00"), c.matches) << c.friendly;
    }
    EXPECT_TRUE(contains(logText(), "]:Fail to match! cur->friendly_name: Other Appliance Disk USB Device, vendor: "
                                    "ORVANE, product: Appliance Disk, version:1.00\n"));
}

}  // namespace
}  // namespace kx_test
