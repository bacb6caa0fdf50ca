// Write faults and the write log reach the format service's copy into the
// disk as they reach raw writes; a skip count lets a fault hit a later write
// of the same sector.
#include <fstream>

#include "platform/win_api.h"
#include "volume_testing.h"

using namespace win;
using namespace volume_testing;

namespace {

struct LoggedWrite {
    std::uint64_t sector, sectors;
    std::string origin;
};

class WriteFaults : public VolumeTest {
protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        layOutTwoVolumes();
    }
    void set(const std::string& key, const std::string& value) { machine::setDiskSetting(m(), 1, key, value); }

    std::vector<LoggedWrite> log(int slot = 1)
    {
        std::ifstream in(dir_ / ("disk" + std::to_string(slot) + "-writes.log"));
        std::vector<LoggedWrite> writes;
        for (LoggedWrite w; in >> w.sector >> w.sectors >> w.origin;)
            writes.push_back(w);
        return writes;
    }

    // Raw writes of a sector of 0x5A at sector, through one handle.
    std::vector<DWORD> writeSector(std::uint64_t sector, int times)
    {
        HANDLE h = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        std::vector<DWORD> errors;
        const std::string bytes(512, 'Z');
        for (int i = 0; i < times; ++i) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(sector * 512);
            DWORD done = 0;
            errors.push_back(WriteFile(h, bytes.data(), 512, &done, &at) ? 0 : GetLastError());
        }
        CloseHandle(h);
        return errors;
    }
};

TEST_F(WriteFaults, WriteLogListsRawAndFormatWritesOfItsDiskOnly)
{
    set("write_log", "on");
    ASSERT_EQ(writeSector(40, 1), std::vector<DWORD>{0});
    formatEx("D:\\", u"NTFS", u"Logged");
    ASSERT_TRUE(callbackLog().doneValue);

    const auto writes = log();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[0].sector, 40u);
    EXPECT_EQ(writes[0].sectors, 1u);
    EXPECT_EQ(writes[0].origin, "io");
    for (size_t i = 1; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].origin, "format");
        EXPECT_GE(writes[i].sector, kNtfsStart);
        EXPECT_LE(writes[i].sector + writes[i].sectors, kNtfsStart + kNtfsSectors);
    }
    EXPECT_EQ(writes[1].sector, kNtfsStart) << "the copy starts at the boot sector";
    EXPECT_FALSE(std::filesystem::exists(dir_ / "disk0-writes.log"));
}

TEST_F(WriteFaults, FormatCopyFailsAtAWriteFaultAndWritesNothingFromThere)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    set("fail_write_at", std::to_string(kNtfsStart));
    formatEx("D:\\", u"NTFS", u"Faulty");
    EXPECT_EQ(callbackLog().doneCount, 1);
    EXPECT_FALSE(callbackLog().doneValue);
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before) << "the first write failed whole";
    EXPECT_TRUE(state()->disks.at(1).present);

    // A cut write keeps what lies before its faulty sector and fails too.
    set("fail_write_at", "none");
    set("short_write_at", std::to_string(kNtfsStart + 1));
    formatEx("D:\\", u"NTFS", u"Faulty");
    EXPECT_FALSE(callbackLog().doneValue);
    EXPECT_EQ(readAt(kNtfsStart * 512 + 3, 4), "NTFS");
    EXPECT_EQ(readAt((kNtfsStart + 1) * 512, 512), std::string(512, '\0'));
}

TEST_F(WriteFaults, DiskVanishingInTheFormatCopyLeavesWithTheBytesBeforeIt)
{
    set("vanish_at", std::to_string(kNtfsStart + 2));
    formatEx("D:\\", u"NTFS", u"Gone");
    EXPECT_EQ(callbackLog().doneCount, 1);
    EXPECT_FALSE(callbackLog().doneValue);
    EXPECT_FALSE(state()->disks.at(1).present);
    EXPECT_EQ(readAt(kNtfsStart * 512 + 3, 4), "NTFS");
    EXPECT_EQ(readAt((kNtfsStart + 2) * 512, 1024), std::string(1024, '\0'));
}

TEST_F(WriteFaults, SkippedWritesLetAFaultHitALaterWriteOfTheSameSector)
{
    set("fail_write_at", "60");
    set("fault_skip_writes", "2");
    EXPECT_EQ(writeSector(60, 4), (std::vector<DWORD>{0, 0, ERROR_WRITE_FAULT, ERROR_WRITE_FAULT}));
    EXPECT_EQ(state()->disks.at(1).faults.skipWrites, 0u);

    // Writes that miss the sector spend no skip.
    set("vanish_at", "70");
    set("fail_write_at", "none");
    set("fault_skip_writes", "1");
    EXPECT_EQ(writeSector(71, 2), (std::vector<DWORD>{0, 0}));
    EXPECT_EQ(writeSector(70, 2), (std::vector<DWORD>{0, ERROR_DEVICE_NOT_CONNECTED}));
    EXPECT_FALSE(state()->disks.at(1).present);
}

}  // namespace
