#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/firmware/TavrinOpt.h"
#include "app/core/log/ComnLog.h"
#include "core_test_files.h"
#include "platform/win_api.h"

namespace {

using namespace core_test;

constexpr std::uint32_t kMiB = 1024 * 1024;
constexpr std::uint32_t kKernelAt = 0x24400;
constexpr std::uint32_t kRootfsAt = 0x824400;
constexpr std::uint32_t kFlagAt = 0x424400;

class TavrinOptTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        work_ = dir_.parent_path();
        const int number = state()->disks.at(1).number;
        devPath_ = Wide("\\Device\\Harddisk" + std::to_string(number) + "\\Partition0");
        drivePath_ = Wide("\\\\.\\PhysicalDrive" + std::to_string(number));
    }
    void TearDown() override
    {
        CComnLog::GetInstance().Init(false, u"");
        TempMachine::TearDown();
    }
    fs::path Source(const std::string& name, const std::string& bytes)
    {
        WriteHostFile(work_ / name, bytes);
        return work_ / name;
    }
    std::string Disk(std::uint64_t offset, size_t count) { return ReadHostRange(diskImage(1), offset, count); }
    void Fault(const std::string& key, std::uint64_t sector)
    {
        machine::setDiskSetting(m(), 1, key, std::to_string(sector));
    }
    // Starts a log into the test's folder and returns its file.
    fs::path StartLog()
    {
        fs::create_directories(work_ / "logs");
        CComnLog::GetInstance().Init(true, Wide(work_ / "logs"));
        std::u16string wide = CComnLog::GetInstance().GetLogFilePath();
        std::string path(wide.begin(), wide.end());
        for (char& c : path)
            c = c == '\\' ? '/' : c;
        return path;
    }

    CTavrinOpt opt_;
    fs::path work_;
    std::u16string devPath_, drivePath_;
};

TEST_F(TavrinOptTest, DevicePathPattern)
{
    std::u16string out;
    EXPECT_EQ(CTavrinOpt::GetPhysicalDrivePath(out, u"\\Device\\Harddisk1\\Partition0"), 0);
    EXPECT_EQ(out, u"\\\\.\\PhysicalDrive1");
    EXPECT_EQ(CTavrinOpt::GetPhysicalDrivePath(out, u"\\Device\\Harddisk12\\Partition0"), 0);
    EXPECT_EQ(out, u"\\\\.\\PhysicalDrive12");
    for (const char16_t* bad :
         {u"\\Device\\Harddisk0\\Partition0", u"\\Device\\Harddisk00\\Partition0", u"\\Device\\Harddisk1\\Partition1",
          u"\\Device\\Harddisk1\\Partition0x", u"\\Device\\Harddisk1\\Partition01", u"\\Device\\Harddisk-1\\Partition0",
          u"\\Device\\Harddisk+1\\Partition0", u"\\Device\\Harddisk\\Partition0", u"\\\\.\\PhysicalDrive1",
          u"\\Device\\Harddisk99999999999\\Partition0", u""}) {
        out = u"unchanged";
        EXPECT_EQ(CTavrinOpt::GetPhysicalDrivePath(out, bad), 1);
        EXPECT_EQ(out, u"unchanged");
    }
    EXPECT_EQ(CTavrinOpt::GetPhysicalDrivePath(out, nullptr), 1);
}

// Refused paths never reach a device: with disk 1 held exclusively, an
// attempt to open it would give 2, not 1; disk 0 would simply succeed.
TEST_F(TavrinOptTest, RefusedPathsOpenNothing)
{
    const fs::path kernel = Source("kernel", RandomBytes(4096, 1));
    win::HANDLE holder = win::CreateFileW(drivePath_.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                          win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, win::INVALID_HANDLE_VALUE);
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const std::uint8_t sector[512] = {1, 2, 3};
    ByteBuffer buffer;
    for (const char16_t* path : {u"\\Device\\Harddisk0\\Partition0", u"\\Device\\Harddisk1\\Partition0x",
                                 u"\\Device\\Harddisk1\\Partition2", static_cast<const char16_t*>(nullptr)}) {
        EXPECT_EQ(opt_.ReadString(path, 0, buffer, 512, nullptr), kDevicePathRefused);
        EXPECT_TRUE(buffer.empty());
        EXPECT_EQ(opt_.WriteString(path, kKernelAt, sector, 512, nullptr), kDevicePathRefused);
        EXPECT_EQ(opt_.ReadDeviceString(path, UPGRADE_TYPE_MBR, buffer, nullptr), kDevicePathRefused);
        EXPECT_EQ(opt_.WriteDeviceString(path, UPGRADE_TYPE_KERNEL, Wide(kernel).c_str()), kDevicePathRefused);
        EXPECT_EQ(opt_.WriteDeviceString(path, UPGRADE_TYPE_GPTSURPLUS, nullptr), kDevicePathRefused);
        EXPECT_EQ(opt_.Check(path, UPGRADE_TYPE_KERNEL, Wide(kernel).c_str()), kDevicePathRefused);
        EXPECT_EQ(opt_.SetUpgradeFlag(path, UPGRADE_TYPE_ROOTFS, 1), kDevicePathRefused);
    }
    win::CloseHandle(holder);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

TEST_F(TavrinOptTest, ShortKernelFileLeavesTheRestOfTheRegionZero)
{
    // Old contents everywhere around and inside the region.
    WriteHostRange(diskImage(1), kKernelAt - 512, std::string(4 * kMiB + 1024, '\xEE'));
    const std::string kernel = RandomBytes(kMiB, 3);
    const fs::path file = Source("kernel", kernel);

    const fs::path log = StartLog();
    ASSERT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), 0);
    EXPECT_EQ(Disk(kKernelAt, kMiB), kernel);
    EXPECT_EQ(Disk(kKernelAt + kMiB, 3 * kMiB), std::string(3 * kMiB, '\0'));
    EXPECT_EQ(Disk(kKernelAt - 512, 512), std::string(512, '\xEE'));  // uboot's last sector
    EXPECT_EQ(Disk(kFlagAt, 512), std::string(512, '\xEE'));          // the flag sector
    EXPECT_NE(ReadHostFile(log).find("一次性全部写入 ! pDevPath: \\Device\\Harddisk1\\Partition0, nSeek:148480, "
                                     "nMaxSize:4194304"),
              std::string::npos);

    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), 0);
    WriteHostRange(diskImage(1), kKernelAt + 2 * kMiB, "\x01");
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), kRegionDiffers);
    const fs::path other = Source("other", RandomBytes(kMiB, 4));
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(other).c_str()), kRegionDiffers);
}

TEST_F(TavrinOptTest, LongRootfsFileIsCutAndWrittenInPieces)
{
    WriteHostRange(diskImage(1), kRootfsAt + 32 * kMiB, std::string(512, '\xEE'));
    const std::string rootfs = RandomBytes(32 * kMiB + 4096, 5);
    const fs::path file = Source("rootfs", rootfs);

    const fs::path log = StartLog();
    ASSERT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, Wide(file).c_str()), 0);
    EXPECT_TRUE(Disk(kRootfsAt, 32 * kMiB) == rootfs.substr(0, 32 * kMiB));
    EXPECT_EQ(Disk(kRootfsAt + 32 * kMiB, 512), std::string(512, '\xEE'));
    EXPECT_NE(ReadHostFile(log).find("分批次写入 ! pDevPath: \\Device\\Harddisk1\\Partition0, nSeek:8537088, "
                                     "nMaxSize:33554432"),
              std::string::npos);

    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, Wide(file).c_str()), 0);
    ByteBuffer region;
    std::uint32_t size = 0;
    ASSERT_EQ(opt_.ReadDeviceString(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, region, &size), 0);
    EXPECT_EQ(size, 32 * kMiB);
    EXPECT_TRUE(std::string(region.begin(), region.end()) == rootfs.substr(0, 32 * kMiB));
}

// A failing piece stops the region write there: the pieces before it are
// on the disk, the ones after it were never written.
TEST_F(TavrinOptTest, FaultsInsideTheRootfsRegionReturnTheTransferCode)
{
    const std::string rootfs = RandomBytes(32 * kMiB, 6);
    const fs::path file = Source("rootfs", rootfs);
    constexpr std::uint64_t kThirdPiece = (kRootfsAt + 16 * kMiB) / 512;

    Fault("fail_write_at", kThirdPiece + 10);
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, Wide(file).c_str()),
              static_cast<int>(win::ERROR_WRITE_FAULT));
    EXPECT_TRUE(Disk(kRootfsAt, 16 * kMiB) == rootfs.substr(0, 16 * kMiB));
    EXPECT_TRUE(Disk(kRootfsAt + 16 * kMiB, 16 * kMiB) == std::string(16 * kMiB, '\0'));
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, Wide(file).c_str()), kRegionDiffers);

    Fault("fail_read_at", kThirdPiece + 8 * kMiB / 512 + 1);  // in the fourth piece
    ByteBuffer region;
    EXPECT_EQ(opt_.ReadDeviceString(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, region, nullptr), kDeviceReadFailed);
    EXPECT_TRUE(region.empty());
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, Wide(file).c_str()), kDeviceReadFailed);
}

TEST_F(TavrinOptTest, ShortWriteAndVanishingDiskAreFailures)
{
    const fs::path file = Source("kernel", RandomBytes(4 * kMiB, 7));
    Fault("short_write_at", kKernelAt / 512 + 100);
    const int shortCode = opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str());
    EXPECT_NE(shortCode, 0);
    machine::setDiskSetting(m(), 1, "short_write_at", "");
    EXPECT_NE(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), 0);

    Fault("vanish_at", kKernelAt / 512 + 100);
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()),
              static_cast<int>(win::ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), kDeviceNotOpened);
}

TEST_F(TavrinOptTest, GptSurplusIsZeroedWithoutAFile)
{
    WriteHostRange(diskImage(1), 0, std::string(20000, '\xAB'));
    ASSERT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_GPTSURPLUS, nullptr), 0);
    EXPECT_EQ(Disk(0, 1024), std::string(1024, '\xAB'));
    EXPECT_EQ(Disk(1024, 15360), std::string(15360, '\0'));
    EXPECT_EQ(Disk(16384, 20000 - 16384), std::string(20000 - 16384, '\xAB'));
}

TEST_F(TavrinOptTest, FlagBitsChangeOnlyTheirBit)
{
    std::string sector = RandomBytes(512, 8);
    sector.replace(0, 4, std::string("\x05\x00\x00\x00", 4));
    WriteHostRange(diskImage(1), kFlagAt, sector + "NEXT");

    ASSERT_EQ(opt_.SetUpgradeFlag(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, 1), 0);
    sector[0] = 0x0D;
    EXPECT_EQ(Disk(kFlagAt, 516), sector + "NEXT");

    ASSERT_EQ(opt_.SetUpgradeFlag(devPath_.c_str(), UPGRADE_TYPE_LOADER, 0), 0);
    sector[0] = 0x0C;
    EXPECT_EQ(Disk(kFlagAt, 512), sector);

    ASSERT_EQ(opt_.SetUpgradeFlag(devPath_.c_str(), UPGRADE_TYPE_MBR, 1), 0);  // no bit for it
    EXPECT_EQ(Disk(kFlagAt, 512), sector);
}

TEST_F(TavrinOptTest, ExclusiveOpensFailWhileTheDiskIsHeld)
{
    const fs::path file = Source("kernel", RandomBytes(8192, 9));
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    win::HANDLE holder =
        win::CreateFileW(drivePath_.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                         win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, win::INVALID_HANDLE_VALUE);
    ByteBuffer buffer;
    const std::uint8_t sector[512] = {};
    EXPECT_EQ(opt_.ReadString(devPath_.c_str(), 0, buffer, 512, nullptr), kDeviceNotOpened);
    EXPECT_EQ(opt_.WriteString(devPath_.c_str(), kKernelAt, sector, 512, nullptr), kDeviceNotOpened);
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), kDeviceNotOpened);
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, Wide(file).c_str()), kDeviceNotOpened);
    EXPECT_EQ(opt_.SetUpgradeFlag(devPath_.c_str(), UPGRADE_TYPE_ROOTFS, 1), kDeviceNotOpened);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);

    win::CloseHandle(holder);
    EXPECT_EQ(opt_.ReadString(devPath_.c_str(), 0, buffer, 512, nullptr), 0);
    EXPECT_EQ(buffer.size(), 512u);
}

TEST_F(TavrinOptTest, SourceFileProblemsStopBeforeTheDisk)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    const std::u16string missing = Wide(work_ / "missing");
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, missing.c_str()), kSourceFileNotOpened);
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), UPGRADE_TYPE_KERNEL, nullptr), kNoSourceFile);
    EXPECT_EQ(opt_.Check(devPath_.c_str(), UPGRADE_TYPE_KERNEL, missing.c_str()), kSourceFileNotOpened);
    EXPECT_EQ(opt_.WriteDeviceString(devPath_.c_str(), 7, nullptr), 1);
    ByteBuffer buffer;
    EXPECT_EQ(opt_.ReadDeviceString(devPath_.c_str(), 0, buffer, nullptr), 1);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);

    std::uint32_t read = 0;
    const fs::path small = Source("small", "abc");
    ASSERT_EQ(opt_.GetWriteFile(Wide(small).c_str(), buffer, 8, &read), 0);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string("abc\0\0\0\0\0", 8));
}

// Buffers are not cleared before reading: the padding after a short file
// must still be zero where freed memory held other bytes just before.
TEST_F(TavrinOptTest, PaddingIsZeroEvenInReusedMemory)
{
    constexpr std::uint32_t kSize = 64 * 1024;
    const fs::path full = Source("full", std::string(kSize, '\xEE'));
    const fs::path small = Source("small", "abc");
    for (int round = 0; round < 3; ++round) {
        {
            ByteBuffer dirty;
            ASSERT_EQ(opt_.GetWriteFile(Wide(full).c_str(), dirty, kSize, nullptr), 0);
        }
        ByteBuffer buffer;
        ASSERT_EQ(opt_.GetWriteFile(Wide(small).c_str(), buffer, kSize, nullptr), 0);
        ASSERT_EQ(buffer.size(), kSize);
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "abc" + std::string(kSize - 3, '\0'));
    }
}

}  // namespace
