// Raw sector access to the appliance disk: identity, sharing, faults.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class RawIo : public testing_support::TempMachine {
protected:
    HANDLE open(DWORD access, DWORD share = kShareAll, DWORD flags = 0)
    {
        return CreateFileA("\\\\.\\PhysicalDrive1", access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    }

    void set(const std::string& key, const std::string& value) { machine::setDiskSetting(m(), 1, key, value); }

    std::vector<unsigned char> imageBytes(std::uint64_t offset, std::size_t n)
    {
        std::vector<unsigned char> out(n);
        const int fd = ::open(diskImage(1).c_str(), O_RDONLY);
        EXPECT_EQ(::pread(fd, out.data(), n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
        ::close(fd);
        return out;
    }
};

// The 44-byte pass-through record, sense at 48 and data at 80, as sent by the library.
struct InquiryBuffer {
    SCSI_PASS_THROUGH spt;
    unsigned char pad[4];
    unsigned char sense[32];
    unsigned char data[96];
};

TEST_F(RawIo, InquiryAnswersTheDisksIdentity)
{
    HANDLE h = open(GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    InquiryBuffer b{};
    b.spt.Length = sizeof(SCSI_PASS_THROUGH);
    b.spt.TargetId = 1;
    b.spt.CdbLength = 12;
    b.spt.SenseInfoLength = 24;
    b.spt.DataIn = SCSI_IOCTL_DATA_IN;
    b.spt.DataTransferLength = 96;
    b.spt.TimeOutValue = 3;
    b.spt.DataBufferOffset = offsetof(InquiryBuffer, data);
    b.spt.SenseInfoOffset = offsetof(InquiryBuffer, sense);
    const unsigned char cdb[] = {0x12, 0, 0, 0, 36, 0xC0};
    std::memcpy(b.spt.Cdb, cdb, sizeof cdb);
    ASSERT_EQ(offsetof(InquiryBuffer, data), 80u);
    ASSERT_EQ(sizeof b, 176u);
    DWORD got = 0;
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_SCSI_PASS_THROUGH, &b, sizeof b, &b, sizeof b, &got, nullptr));
    EXPECT_EQ(b.spt.ScsiStatus, 0);
    EXPECT_EQ(b.spt.DataTransferLength, 36u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data + 8), 8), "ORVANE  ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data + 16), 16), "Appliance Disk  ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data + 32), 4), "1.00");
    CloseHandle(h);

    // Pass-through needs read and write access.
    h = open(GENERIC_READ);
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_SCSI_PASS_THROUGH, &b, sizeof b, &b, sizeof b, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // The filter driver's private code is refused by a disk without it.
    EXPECT_FALSE(DeviceIoControl(h, 0x73C40, nullptr, 0, nullptr, 0, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(h);
}

TEST_F(RawIo, StoragePropertyTellsRemovableMedia)
{
    for (bool removable : {false, true}) {
        set("removable", removable ? "true" : "false");
        HANDLE h = open(GENERIC_READ);
        STORAGE_PROPERTY_QUERY q{};
        std::vector<unsigned char> answer(10000);
        DWORD got = 0;
        ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, answer.data(),
                                    static_cast<DWORD>(answer.size()), &got, nullptr));
        STORAGE_DEVICE_DESCRIPTOR d;
        std::memcpy(&d, answer.data(), sizeof d);
        EXPECT_EQ(d.RemovableMedia, removable);
        EXPECT_EQ(d.BusType, BusTypeUsb);
        EXPECT_STREQ(reinterpret_cast<char*>(answer.data() + d.ProductIdOffset), "Appliance Disk");
        CloseHandle(h);
    }
}

TEST_F(RawIo, ExclusiveOpenFailsWhileAnotherHandleIsOpen)
{
    HANDLE shared = open(GENERIC_READ);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(shared);

    HANDLE exclusive = open(GENERIC_WRITE, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(GENERIC_READ), INVALID_HANDLE_VALUE) << "the exclusive holder shares nothing";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(exclusive);
    HANDLE again = open(GENERIC_READ, 0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "closing releases the claim";
    CloseHandle(again);

    // Read-only sharing admits readers and refuses writers.
    HANDLE reader = open(GENERIC_READ, FILE_SHARE_READ);
    HANDLE second = open(GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    CloseHandle(second);
}

TEST_F(RawIo, ExclusiveOpenFailsWhileAnotherProcessHoldsTheDisk)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        HANDLE h = open(GENERIC_READ);
        const char ok = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::sleep(2);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(open(GENERIC_READ | GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    HANDLE h = open(GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "a dead process holds nothing";
    CloseHandle(h);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(RawIo, SeeksAndTransfersBeyondFourGigabytes)
{
    HANDLE h = open(GENERIC_READ | GENERIC_WRITE);
    std::vector<unsigned char> sector(512);
    for (size_t i = 0; i < sector.size(); ++i)
        sector[i] = static_cast<unsigned char>(i * 7 + 1);
    LARGE_INTEGER at;
    at.QuadPart = (0x100000000ll / 512 + 3) * 512;
    ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, sector.data(), 512, &n, nullptr));
    EXPECT_EQ(n, 512u);
    EXPECT_EQ(imageBytes(static_cast<std::uint64_t>(at.QuadPart), 512), sector);

    // Raw devices take whole sectors only.
    EXPECT_FALSE(WriteFile(h, sector.data(), 100, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Reading at the end finds no sector.
    at.QuadPart = 8ll << 30;
    ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
    EXPECT_FALSE(ReadFile(h, sector.data(), 512, &n, nullptr));
    CloseHandle(h);
}

TEST_F(RawIo, ReadOnlyDiskOpensForReadingOnly)
{
    set("read_only", "true");
    EXPECT_EQ(open(GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE h = open(GENERIC_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<unsigned char> buf(512);
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, buf.data(), 512, &n, nullptr));
    EXPECT_FALSE(WriteFile(h, buf.data(), 512, &n, nullptr));
    CloseHandle(h);

    set("read_only", "false");
    set("write_protect", "true");
    h = open(GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(WriteFile(h, buf.data(), 512, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_PROTECT));
    CloseHandle(h);
}

TEST_F(RawIo, FaultsFailCutAndVanish)
{
    HANDLE h = open(GENERIC_READ | GENERIC_WRITE);
    std::vector<unsigned char> buf(8 * 512, 0xAB);
    DWORD n = 0;
    OVERLAPPED at{};
    at.Offset = 100 * 512;

    set("fail_read_at", "103");
    EXPECT_FALSE(ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &at));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC));
    at.Offset = 200 * 512;
    EXPECT_TRUE(ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &at)) << "other sectors still read";

    set("fail_write_at", "204");
    std::fill(buf.begin(), buf.end(), 0xAB);
    EXPECT_FALSE(WriteFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &at));
    EXPECT_EQ(imageBytes(200 * 512, 512), std::vector<unsigned char>(512, 0)) << "a failed write writes nothing";
    set("fail_write_at", "none");

    set("short_write_at", "202");
    ASSERT_TRUE(WriteFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &at));
    EXPECT_EQ(n, 2u * 512);
    EXPECT_EQ(imageBytes(202 * 512, 512), std::vector<unsigned char>(512, 0));
    set("short_write_at", "none");

    set("vanish_at", "205");
    EXPECT_FALSE(WriteFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &at));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(n, 5u * 512);
    EXPECT_FALSE(state()->disks[1].present);
    EXPECT_FALSE(ReadFile(h, buf.data(), 512, &n, nullptr)) << "the handle died with the device";
    EXPECT_EQ(open(GENERIC_READ), INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST_F(RawIo, HandleOpenedBeforeARestartIsDead)
{
    HANDLE h = open(GENERIC_READ);
    machine::unplug(m(), 1);
    machine::plug(m(), 1);
    std::vector<unsigned char> buf(512);
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(h, buf.data(), 512, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    CloseHandle(h);
    h = open(GENERIC_READ);
    EXPECT_TRUE(ReadFile(h, buf.data(), 512, &n, nullptr));
    CloseHandle(h);
}

TEST_F(RawIo, ExclusiveOpensCanBeRefused)
{
    set("refuse_exclusive", "true");
    EXPECT_EQ(open(GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE h = open(GENERIC_READ);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

}  // namespace
