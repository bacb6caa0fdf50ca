// Private partitions holding volumes another program made: they load with
// the maker's password and their file system reads through the drive.
#include <fstream>
#include <iterator>

#include "private_fixture.h"

namespace kx_test {
namespace {

class PrivateMadeElsewhere : public PrivateTest {
protected:
    void SetUp() override
    {
        PrivateTest::SetUp();
        ASSERT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 1);
    }

    // Partition 2 holds the volume file at its start, zeros after it.
    void holding(const std::string& name)
    {
        std::ifstream in(std::string(ORVANE_VOLUMES_DIR) + "/" + name, std::ios::binary);
        std::vector<std::uint8_t> volume(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(volume.size(), 38u * 512);
        volume.resize(64 * 1024, 0);
        putImageBytes(1, partitionOffset(), volume);
    }

    // Sector `sector` of the mounted volume, read through its drive.
    std::vector<std::uint8_t> driveSector(char letter, std::uint32_t sector)
    {
        const std::string path = std::string("\\\\.\\") + letter + ":";
        const win::HANDLE h = win::CreateFileA(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                               nullptr, win::OPEN_EXISTING, 0, nullptr);
        std::vector<std::uint8_t> bytes(512);
        EXPECT_NE(h, win::INVALID_HANDLE_VALUE);
        win::OVERLAPPED at{};
        at.Offset = sector * 512;
        win::DWORD done = 0;
        EXPECT_TRUE(win::ReadFile(h, bytes.data(), 512, &done, &at));
        win::CloseHandle(h);
        return bytes;
    }
};

TEST_F(PrivateMadeElsewhere, VolumesLoadAndReadThroughTheDrive)
{
    privatePartition(KX_FS_PRIVATE_FAT, 8 * kMiB);
    const struct {
        const char* file;
        bool fileSystemKept;  // the publisher wiped the others' boot sectors
    } volumes[] = {
        {"tc_2-ripemd160-cbc-aes", true},
        {"tc_2-ripemd160-lrw-aes", true},
        {"tc_2-ripemd160-cbc-aes-twofish", false},
        {"tc_2-ripemd160-cbc-aes-blowfish", false},
        {"tc_1-sha1-cbc-blowfish", false},
    };
    for (const auto& v : volumes) {
        SCOPED_TRACE(v.file);
        holding(v.file);
        EXPECT_EQ(kx_part_chk_pwd(partition(1), "aaaaaaaaaaab"), 0);
        ASSERT_EQ(kx_part_load(partition(1), "aaaaaaaaaaaa", nullptr), 0);
        PedWinPart* part = partition(1);
        ASSERT_STREQ(part->mountpoint, "D:");
        EXPECT_EQ(driveSector('D', 34), std::vector<std::uint8_t>(512, 0)) << "a root folder sector, all zero";
        if (v.fileSystemKept) {
            win::DWORD serial = 0;
            char16_t label[32] = {};
            EXPECT_TRUE(win::GetVolumeInformationW(u"D:\\", label, 32, &serial, nullptr, nullptr, nullptr, 0));
            EXPECT_EQ(serial, 0xDEADBABEu);
            win::ULARGE_INTEGER free{}, total{}, totalFree{};
            ASSERT_TRUE(win::GetDiskFreeSpaceExA("D:\\", &free, &total, &totalFree));
            EXPECT_EQ(total.QuadPart, 512u) << "one cluster of 512 bytes";
            EXPECT_EQ(part->free, free.QuadPart) << "the load stores what the drive reports";
            const auto boot = driveSector('D', 0);
            EXPECT_EQ(std::string(boot.begin() + 43, boot.begin() + 54), "NO NAME    ");
        }
        ASSERT_EQ(kx_part_unload(partition(1)), 0);
    }
}

}  // namespace
}  // namespace kx_test
