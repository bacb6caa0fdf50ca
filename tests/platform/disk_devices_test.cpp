// Disks and partitions as the kernel publishes them: device paths, DOS names,
// partition information, letters, and the table re-read.
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class DiskDevices : public testing_support::TempMachine {
protected:
    // A primary NTFS, a FAT32 and a hidden NTFS in an extended partition, and
    // a 0x82 system partition, as sfdisk lays them out.
    void layOutAppliance(bool rescanNow = true)
    {
        const std::string script =
            "label: dos\\n"
            "start=2048, size=204800, type=82\\n"
            "start=206848, size=409600, type=7\\n"
            "start=616448, size=1048576, type=f\\n"
            "start=618496, size=204800, type=b\\n"
            "start=825344, size=204800, type=17\\n";
        if (rescanNow) {
            partitionWithSfdisk(1, script);
        } else {
            std::string out;
            ASSERT_EQ(testing_support::runCommand("printf '" + script + "' | sfdisk -q " + diskImage(1).string(), &out), 0)
                << out;
        }
    }

    // Opens a kernel path the way the storage library does: through a DOS name.
    HANDLE openKernelPath(const std::string& path, DWORD access = GENERIC_READ)
    {
        EXPECT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "kxtest", path.c_str()));
        HANDLE h = CreateFileA("\\\\.\\kxtest", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        EXPECT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, "kxtest",
                                     path.c_str()));
        return h;
    }

    bool partitionInfo(const std::string& path, PARTITION_INFORMATION* info)
    {
        HANDLE h = openKernelPath(path);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        std::memset(info, 0, sizeof *info);
        DWORD got = 0;
        const BOOL ok = DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, info, sizeof *info, &got, nullptr);
        CloseHandle(h);
        return ok && got == sizeof *info;
    }

    std::string queryDos(const char* name)
    {
        char target[260] = {};
        return QueryDosDeviceA(name, target, sizeof target) ? std::string(target) : std::string();
    }
};

TEST_F(DiskDevices, NewMachineHasSparseApplianceDiskAndSystemDrive)
{
    struct stat st {};
    ASSERT_EQ(::stat(diskImage(1).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 8ll << 30);
    EXPECT_LT(st.st_blocks * 512, 1 << 20) << "the appliance image is not sparse";
    EXPECT_NE(GetLogicalDrives() & (1u << 2), 0u) << "C: missing";
    EXPECT_EQ(GetLogicalDrives() & ~(1u << 2), 0u) << "a blank disk has no volumes";
    EXPECT_EQ(GetFileAttributesA("C:\\Windows"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(DiskDevices, PublishesPartitionsWithTheirInformationAndLetters)
{
    layOutAppliance();
    PARTITION_INFORMATION info;
    struct Expect {
        int number;
        std::uint64_t start, sectors;
        std::uint32_t hidden;
        std::uint8_t type;
    } expected[] = {{1, 2048, 204800, 2048, 0x82},
                    {2, 206848, 409600, 206848, 0x07},
                    {3, 618496, 204800, 2048, 0x0B},
                    {4, 825344, 204800, 2048, 0x17}};
    for (const auto& e : expected) {
        const std::string path = "\\Device\\Harddisk1\\Partition" + std::to_string(e.number);
        ASSERT_TRUE(partitionInfo(path, &info)) << path;
        EXPECT_EQ(info.StartingOffset.QuadPart, static_cast<LONGLONG>(e.start * 512)) << path;
        EXPECT_EQ(info.PartitionLength.QuadPart, static_cast<LONGLONG>(e.sectors * 512)) << path;
        EXPECT_EQ(info.HiddenSectors, e.hidden) << path;
        EXPECT_EQ(info.PartitionNumber, static_cast<DWORD>(e.number)) << path;
        EXPECT_EQ(info.PartitionType, e.type) << path;
    }
    EXPECT_FALSE(partitionInfo("\\Device\\Harddisk1\\Partition5", &info)) << "the extended container is not a device";

    ASSERT_TRUE(partitionInfo("\\Device\\Harddisk1\\Partition0", &info));
    EXPECT_EQ(info.StartingOffset.QuadPart, 0);
    EXPECT_EQ(info.PartitionLength.QuadPart, 8ll << 30);

    // NTFS and FAT32 get D: and E:; 0x82 and the hidden 0x17 get none.
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4));
    for (auto [letter, number] : {std::pair{"D:", 2}, std::pair{"E:", 3}}) {
        const std::string volume = queryDos(letter);
        ASSERT_EQ(volume.rfind("\\Device\\HarddiskVolume", 0), 0u) << volume;
        PARTITION_INFORMATION viaLetter, viaPath;
        ASSERT_TRUE(partitionInfo(volume, &viaLetter));
        ASSERT_TRUE(partitionInfo("\\Device\\Harddisk1\\Partition" + std::to_string(number), &viaPath));
        EXPECT_EQ(std::memcmp(&viaLetter, &viaPath, sizeof viaPath), 0) << letter;
    }
}

TEST_F(DiskDevices, TableWrittenBehindTheKernelsBackAppearsAfterUpdateProperties)
{
    layOutAppliance(false);
    PARTITION_INFORMATION info;
    EXPECT_FALSE(partitionInfo("\\Device\\Harddisk1\\Partition1", &info)) << "published before any re-read";
    HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(disk, INVALID_HANDLE_VALUE);
    DWORD got = 0;
    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &got, nullptr));
    CloseHandle(disk);
    EXPECT_TRUE(partitionInfo("\\Device\\Harddisk1\\Partition1", &info));
    EXPECT_EQ(info.PartitionType, 0x82);
}

TEST_F(DiskDevices, LettersComeBackTheSameAfterARescan)
{
    layOutAppliance();
    const std::string before = queryDos("D:");
    rescan(1);
    EXPECT_NE(queryDos("D:"), "") << "letter lost";
    PARTITION_INFORMATION info;
    ASSERT_TRUE(partitionInfo(queryDos("D:"), &info));
    EXPECT_EQ(info.PartitionNumber, 2u);
    EXPECT_NE(queryDos("D:"), before) << "a re-read publishes new volume devices";
}

TEST_F(DiskDevices, PartitionsAndLettersCanArriveLate)
{
    // With the test's time scale, 300000 machine ms pass in 0.3 s.
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "300000");
    machine::setDiskSetting(m(), 1, "letter_delay_ms", "300000");
    layOutAppliance();
    PARTITION_INFORMATION info;
    EXPECT_FALSE(partitionInfo("\\Device\\Harddisk1\\Partition2", &info));
    Sleep(350000);
    EXPECT_TRUE(partitionInfo("\\Device\\Harddisk1\\Partition2", &info));
    EXPECT_EQ(queryDos("D:"), "") << "letter before its time";
    Sleep(350000);
    EXPECT_NE(queryDos("D:"), "");
}

TEST_F(DiskDevices, DosNamesStackAndRemoveByExactMatch)
{
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "kelvar1", "\\Device\\Harddisk1\\Partition0"));
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "kelvar1", "\\Device\\Harddisk0\\Partition0"));
    char targets[512] = {};
    const DWORD n = QueryDosDeviceA("KELVAR1", targets, sizeof targets);
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(targets, "\\Device\\Harddisk0\\Partition0") << "newest definition first";
    EXPECT_STREQ(targets + std::strlen(targets) + 1, "\\Device\\Harddisk1\\Partition0");

    const DWORD remove = DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE;
    EXPECT_FALSE(DefineDosDeviceA(remove, "kelvar1", "\\Device\\Harddisk1\\Partition"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(DefineDosDeviceA(remove, "kelvar1", "\\Device\\Harddisk0\\Partition0"));
    EXPECT_EQ(queryDos("kelvar1"), "\\Device\\Harddisk1\\Partition0");
    ASSERT_TRUE(DefineDosDeviceA(remove, "kelvar1", "\\Device\\Harddisk1\\Partition0"));
    EXPECT_EQ(queryDos("kelvar1"), "");
    EXPECT_EQ(CreateFileA("\\\\.\\kelvar1", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);

    char tiny[8];
    EXPECT_EQ(QueryDosDeviceA("PhysicalDrive1", tiny, sizeof tiny), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(DiskDevices, NamesThatLeadNowhereAreNotFound)
{
    for (const char* name : {"\\\\.\\PhysicalDrive9", "\\\\.\\PhysicalDrive", "\\\\.\\Q:", "\\\\.\\nothing"}) {
        EXPECT_EQ(CreateFileA(name, GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "loop", "\\??\\loop"));
    EXPECT_EQ(CreateFileA("\\\\.\\loop", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

}  // namespace
