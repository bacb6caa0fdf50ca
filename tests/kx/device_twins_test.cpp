// Two appliances of the same layout attached at once: their partitions have
// equal partition information, yet each must get its own drive letter, or a
// format meant for one would land on the other.
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "device_fixture.h"
#include "windev/pedwindow_paths.h"

namespace kx_test {
namespace {

constexpr int kFirst = 2, kSecond = 3;  // slots of the twins
constexpr std::uint64_t kStart = 2048;   // sector of each twin's partition

class DeviceTwins : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        for (int expected : {kFirst, kSecond}) {
            machine::DiskOptions options;
            options.size = 256ull << 20;
            ASSERT_EQ(machine::addDisk(m(), options), expected);
            partitionWithSfdisk(expected, "label: dos\\nstart=2048, size=100000, type=7\\n");
            // As when the operator plugs it in with the table already on it.
            machine::unplug(m(), expected);
            machine::plug(m(), expected);
        }
        ASSERT_EQ(letterOf(kFirst), 'D');
        ASSERT_EQ(letterOf(kSecond), 'E');
    }

    // The letter the machine published for the slot's first partition.
    char letterOf(int slot) { return state()->disks.at(static_cast<size_t>(slot)).partitions.at(0).letter; }

    // The first partition as the API walks the slot's disk.
    PedWinPart* firstPartition(int slot)
    {
        kx_disk* disk = kx_disk_get(wholeDiskPath(diskNumber(slot)).c_str());
        EXPECT_NE(disk, nullptr) << "slot " << slot;
        PedWinPart* part = disk ? kx_part_getinfo(disk, nullptr, KX_PART_ALL) : nullptr;
        EXPECT_NE(part, nullptr) << "slot " << slot;
        return part;
    }

    std::string mountpoint(int slot)
    {
        PedWinPart* part = firstPartition(slot);
        return part && part->mountpoint ? part->mountpoint : "";
    }

    // One field of blkid's probe of the slot's partition.
    std::string blkid(int slot, const std::string& field)
    {
        std::string out;
        testing_support::runCommand("blkid -p -O " + std::to_string(kStart * 512) + " -o value -s " + field + " " +
                                        diskImage(slot).string(),
                                    &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
};

TEST_F(DeviceTwins, EachTwinGetsTheLetterTheMachineGaveIt)
{
    for (int slot : {kFirst, kSecond})
        EXPECT_EQ(kx::driveLetter(partitionPath(diskNumber(slot), 1).c_str()), letterOf(slot) - 'A') << slot;

    ASSERT_EQ(kx_dev_probe(), 1);
    int found = 0;
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        for (int slot : {kFirst, kSecond})
            found += d->path && wholeDiskPath(diskNumber(slot)) == d->path;
    EXPECT_EQ(found, 2) << "both twins are listed";
    EXPECT_EQ(mountpoint(kFirst), "D:");
    EXPECT_EQ(mountpoint(kSecond), "E:");
    EXPECT_FALSE(tempNameDefined());
}

TEST_F(DeviceTwins, FormattingOneTwinLeavesTheOtherUntouched)
{
    ASSERT_EQ(kx_dev_probe(), 1);
    ASSERT_EQ(kx_part_format(firstPartition(kFirst), nullptr, "FIRST", 1, 0), 0);
    const std::string firstPrint = testing_support::fingerprintFile(diskImage(kFirst));

    ASSERT_EQ(kx_part_format(firstPartition(kSecond), nullptr, "SECOND", 1, 0), 0);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(kFirst)), firstPrint) << "the other twin was written";
    EXPECT_EQ(blkid(kFirst, "LABEL"), "FIRST");
    EXPECT_EQ(blkid(kSecond, "TYPE"), "ntfs");
    EXPECT_EQ(blkid(kSecond, "LABEL"), "SECOND");
}

// Where the driver does not give device numbers, the layout alone decides,
// which still tells apart partitions at different places.
TEST_F(DeviceTwins, DisksWithoutDeviceNumbersStillGetTheirLetters)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=204800, type=7\\nstart=206848, size=204800, type=b\\n");
    machine::setDiskSetting(m(), 1, "refuse_device_number", "true");
    // Held: a later read replaces the cached state this would point into.
    const auto snapshot = state();
    const auto& parts = snapshot->disks[1].partitions;
    ASSERT_EQ(parts.size(), 2u);
    ASSERT_NE(parts[0].letter, 0);
    ASSERT_NE(parts[1].letter, 0);
    for (int n : {1, 2})
        EXPECT_EQ(kx::driveLetter(partitionPath(diskNumber(1), n).c_str()), parts[n - 1].letter - 'A') << n;
    // The twins, which do answer, are not disturbed by a disk that does not.
    EXPECT_EQ(kx::driveLetter(partitionPath(diskNumber(kSecond), 1).c_str()), letterOf(kSecond) - 'A');
    EXPECT_FALSE(tempNameDefined());
}

// Appliances of one model tell apart only by their serials: a drive that
// cannot be opened for a moment (another job holds it) is left out, and no
// other appliance's record takes its place, which would send that disk's
// lock, restart and writes to the wrong one.
TEST_F(DeviceTwins, EachTwinKeepsItsOwnSerialWhileAnotherCannotBeOpened)
{
    const auto listedSerials = [&] {
        std::map<std::string, std::string> serials;  // path -> serial its USB id carries
        EXPECT_EQ(kx_dev_probe(), 1);
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0)) {
            char id[KX_USB_ID_SIZE] = {};
            if (d->path && kx_dev_get_vid_info(d->path, id))
                serials[d->path] = std::strrchr(id, '\\') + 1;
        }
        return serials;
    };
    const auto serialAt = [&](int slot) {
        std::string serial = state()->disks.at(static_cast<size_t>(slot)).serial;
        for (char& c : serial)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return serial;
    };
    const std::string held = "\\\\.\\PhysicalDrive" + std::to_string(diskNumber(kFirst));
    const win::HANDLE h = win::CreateFileA(held.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
    auto serials = listedSerials();
    win::CloseHandle(h);
    EXPECT_EQ(serials.count(wholeDiskPath(diskNumber(kFirst))), 0u);
    EXPECT_EQ(serials[wholeDiskPath(diskNumber(1))], serialAt(1));
    EXPECT_EQ(serials[wholeDiskPath(diskNumber(kSecond))], serialAt(kSecond));

    serials = listedSerials();
    for (int slot : {1, kFirst, kSecond})
        EXPECT_EQ(serials[wholeDiskPath(diskNumber(slot))], serialAt(slot)) << slot;

    EXPECT_EQ(kx::ped_dev_win_serial_agrees("USBSTOR\\DISK&VEN_X\\ORV01&0", "orv01"), 1);
    EXPECT_EQ(kx::ped_dev_win_serial_agrees("USBSTOR\\DISK&VEN_X\\ORV01&0", "ORV02"), 0);
    EXPECT_EQ(kx::ped_dev_win_serial_agrees("USBSTOR\\DISK&VEN_X\\ORV01&0", "ORV011"), 0);
    EXPECT_EQ(kx::ped_dev_win_serial_agrees("USBSTOR\\DISK&VEN_X\\7&2A3B4C&0", "ORV01"), 1);  // made up by Windows
    EXPECT_EQ(kx::ped_dev_win_serial_agrees("USBSTOR\\DISK&VEN_X\\ORV01&0", ""), 1);
}

}  // namespace
}  // namespace kx_test
