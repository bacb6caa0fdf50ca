// IOCTL_STORAGE_GET_DEVICE_NUMBER: the disk and partition behind whole
// disks, partitions, volumes and drive letters, where partition information
// alone cannot tell two disks of the same layout apart.
#include <cstring>
#include <string>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class DeviceNumber : public testing_support::TempMachine {
protected:
    // Two more disks, each with one NTFS partition at the same place.
    void addTwins()
    {
        for (int i = 0; i < 2; ++i) {
            machine::DiskOptions options;
            options.size = 256ull << 20;
            const int slot = machine::addDisk(m(), options);
            partitionWithSfdisk(slot, "label: dos\\nstart=2048, size=100000, type=7\\n");
        }
    }

    int numberOf(int slot) { return state()->disks.at(static_cast<size_t>(slot)).number; }

    // Opens a \\.\ name, or a kernel path through a DOS name of its own.
    HANDLE open(const std::string& name, DWORD access = GENERIC_READ)
    {
        if (name.rfind("\\Device\\", 0) != 0)
            return CreateFileA(("\\\\.\\" + name).c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "devnumtest", name.c_str()));
        HANDLE h = CreateFileA("\\\\.\\devnumtest", access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                                     "devnumtest", name.c_str()));
        return h;
    }

    // The answer for a name, or {0, ~0, ~0} when it failed.
    STORAGE_DEVICE_NUMBER ask(const std::string& name, DWORD access = GENERIC_READ)
    {
        STORAGE_DEVICE_NUMBER n{0, ~0u, ~0u};
        HANDLE h = open(name, access);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << name;
        if (h == INVALID_HANDLE_VALUE)
            return n;
        DWORD got = 0;
        if (!DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &n, sizeof n, &got, nullptr))
            n = {0, ~0u, ~0u};
        else
            EXPECT_EQ(got, sizeof n) << name;
        CloseHandle(h);
        return n;
    }

    std::string queryDos(const char* name)
    {
        char target[260] = {};
        return QueryDosDeviceA(name, target, sizeof target) ? std::string(target) : std::string();
    }
};

void expectNumber(const STORAGE_DEVICE_NUMBER& n, int disk, int partition, const std::string& what)
{
    EXPECT_EQ(n.DeviceType, static_cast<DWORD>(FILE_DEVICE_DISK)) << what;
    EXPECT_EQ(n.DeviceNumber, static_cast<ULONG>(disk)) << what;
    EXPECT_EQ(n.PartitionNumber, static_cast<ULONG>(partition)) << what;
}

TEST_F(DeviceNumber, EveryNameOfADiskOrPartitionAnswersWithItsNumbers)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=204800, type=82\\nstart=206848, size=409600, type=7\\n");
    const int disk = numberOf(1);
    for (const std::string& name : {"PhysicalDrive" + std::to_string(disk),
                                   "\\Device\\Harddisk" + std::to_string(disk) + "\\Partition0"})
        expectNumber(ask(name), disk, 0, name);
    for (int partition : {1, 2}) {
        const std::string name = "\\Device\\Harddisk" + std::to_string(disk) + "\\Partition" + std::to_string(partition);
        expectNumber(ask(name), disk, partition, name);
    }
    // The 0x82 partition gets no letter; the NTFS one gets D:.
    const std::string volume = queryDos("D:");
    ASSERT_EQ(volume.rfind("\\Device\\HarddiskVolume", 0), 0u) << volume;
    expectNumber(ask(volume), disk, 2, volume);
    expectNumber(ask("D:"), disk, 2, "D:");
    expectNumber(ask("C:"), numberOf(0), 1, "C:");
    // The code asks for no access, so a handle without any answers too.
    expectNumber(ask("D:", 0), disk, 2, "D: opened without access");
}

TEST_F(DeviceNumber, TellsApartTwoDisksWhosePartitionInformationIsEqual)
{
    addTwins();
    // Held: a later read replaces the cached state this would point into.
    const auto snapshot = state();
    const auto& disks = snapshot->disks;
    ASSERT_EQ(disks.size(), 4u);
    ASSERT_EQ(disks[2].partitions.at(0).letter, 'D');
    ASSERT_EQ(disks[3].partitions.at(0).letter, 'E');

    PARTITION_INFORMATION infoD{}, infoE{};
    DWORD got = 0;
    for (auto [letter, info] : {std::pair{"D:", &infoD}, std::pair{"E:", &infoE}}) {
        HANDLE h = open(letter);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, info, sizeof *info, &got, nullptr));
        CloseHandle(h);
    }
    ASSERT_EQ(std::memcmp(&infoD, &infoE, sizeof infoD), 0) << "the twins' layouts differ";

    expectNumber(ask("D:"), numberOf(2), 1, "D:");
    expectNumber(ask("E:"), numberOf(3), 1, "E:");
}

TEST_F(DeviceNumber, ShortBufferAndRefusingDriverFail)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=204800, type=7\\n");
    HANDLE h = open("D:");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    unsigned char buffer[sizeof(STORAGE_DEVICE_NUMBER)];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD got = 99;
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, buffer, sizeof buffer - 1, &got,
                                 nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(buffer[0], 0xAB) << "a failed answer wrote into the buffer";
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, nullptr, 0, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // A bigger buffer gets the record and no more.
    unsigned char big[64] = {};
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, big, sizeof big, &got, nullptr));
    EXPECT_EQ(got, sizeof(STORAGE_DEVICE_NUMBER));

    // A disk whose driver does not know the code refuses it on every handle,
    // open ones included, and still answers the partition information.
    machine::setDiskSetting(m(), 1, "refuse_device_number", "true");
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, big, sizeof big, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    PARTITION_INFORMATION info{};
    EXPECT_TRUE(DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &info, sizeof info, &got, nullptr));
    CloseHandle(h);
    EXPECT_EQ(ask("PhysicalDrive" + std::to_string(numberOf(1))).DeviceNumber, ~0u);
    expectNumber(ask("C:"), numberOf(0), 1, "other disks still answer");

    // The fault is kept with the machine, and can be cleared.
    EXPECT_TRUE(machine::Machine::open(dir_)->read()->disks[1].faults.refuseDeviceNumber);
    machine::setDiskSetting(m(), 1, "refuse_device_number", "false");
    expectNumber(ask("D:"), numberOf(1), 1, "D: after clearing the fault");
}

}  // namespace
