// Volume answers read from the disk: labels, and damaged volumes that must
// read as unrecognised rather than crash or read elsewhere.
#include <random>
#include <regex>

#include "platform/volume_format.h"
#include "volume_testing.h"

using namespace win;
using namespace volume_testing;

namespace {

class VolumeProbe : public VolumeTest {
protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        layOutTwoVolumes();
    }

    bool unrecognised(const char* root)
    {
        ULARGE_INTEGER a{}, b{}, c{};
        const bool noFree = !GetDiskFreeSpaceExA(root, &a, &b, &c) && GetLastError() == ERROR_UNRECOGNIZED_VOLUME;
        const auto info = volumeInfo(root);
        return noFree && !info.ok && info.error == ERROR_UNRECOGNIZED_VOLUME;
    }

    static std::uint64_t le(const std::string& bytes, std::size_t at, int size)
    {
        std::uint64_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        return v;
    }
};

TEST_F(VolumeProbe, DamagedNtfsBootSectorIsUnrecognised)
{
    formatEx("D:\\", u"NTFS", u"");
    ASSERT_TRUE(callbackLog().doneValue);
    const std::uint64_t at = kNtfsStart * 512;
    const std::string boot = readAt(at, 512);
    struct Damage {
        std::size_t offset;
        std::string bytes;
        const char* what;
    };
    for (const Damage& d : {Damage{11, std::string("\0\0", 2), "no bytes per sector"},
                            Damage{13, "\x03", "sectors per cluster not a power of two"},
                            Damage{40, std::string("\xff\xff\xff\xff\0\0\0\0", 8), "larger than the partition"},
                            Damage{48, std::string("\0\0\0\0\x10\0\0\0", 8), "MFT beyond the volume"},
                            Damage{64, std::string(1, '\0'), "no MFT record size"},
                            Damage{64, "\x7f", "MFT records of 127 clusters"}}) {
        std::string damaged = boot;
        damaged.replace(d.offset, d.bytes.size(), d.bytes);
        writeAt(at, damaged);
        EXPECT_TRUE(unrecognised("D:\\")) << d.what;
    }
    writeAt(at, boot);
    EXPECT_FALSE(unrecognised("D:\\"));
}

TEST_F(VolumeProbe, DamagedMftIsUnrecognisedAndNeverReadPastTheVolume)
{
    formatEx("D:\\", u"NTFS", u"Label");
    ASSERT_TRUE(callbackLog().doneValue);
    std::string info;
    ASSERT_EQ(testing_support::runCommand("ntfsinfo -m " + extract(kNtfsStart, kNtfsSectors), &info), 0) << info;
    const long long mftLcn = numberAfter(info, "LCN of Data Attribute for FILE_MFT");
    const long long cluster = numberAfter(info, "Cluster Size");
    const long long recordSize = numberAfter(info, "MFT Record Size");
    ASSERT_GT(mftLcn, 0);
    const std::uint64_t mft = kNtfsStart * 512 + static_cast<std::uint64_t>(mftLcn * cluster);
    const std::string records = readAt(mft, static_cast<std::size_t>(8 * recordSize));

    writeAt(mft, "BAAD");
    EXPECT_TRUE(unrecognised("D:\\")) << "record 0 not a FILE record";
    writeAt(mft, records);
    writeAt(mft + 3 * recordSize + 510, "\x12\x34");
    EXPECT_TRUE(unrecognised("D:\\")) << "torn write in $Volume";
    writeAt(mft, records);
    ASSERT_EQ(volumeInfo("D:\\").label, u"Label");

    // Damage anywhere in the first records: an answer, if any, stays within
    // the volume.
    std::mt19937 random(20240611);
    for (int round = 0; round < 400; ++round) {
        std::string damaged = records;
        for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        writeAt(mft, damaged);
        ULARGE_INTEGER toCaller{}, total{}, free{};
        if (GetDiskFreeSpaceExA("D:\\", &toCaller, &total, &free)) {
            EXPECT_LE(total.QuadPart, kNtfsSectors * 512) << round;
            EXPECT_LE(free.QuadPart, total.QuadPart) << round;
        }
        volumeInfo("D:\\");
    }
    writeAt(mft, records);
}

// Nothing may answer with a count from before a write: not after one
// through the volume's handle, nor after one straight into the disk image
// by another writer.
TEST_F(VolumeProbe, FreeSpaceFollowsEveryWriteToTheBitmap)
{
    formatEx("D:\\", u"NTFS", u"");
    ASSERT_TRUE(callbackLog().doneValue);
    const std::string part = extract(kNtfsStart, kNtfsSectors);
    std::string info, bitmapInfo;
    ASSERT_EQ(testing_support::runCommand("ntfsinfo -m " + part, &info), 0) << info;
    ASSERT_EQ(testing_support::runCommand("ntfsinfo -v -i 6 " + part, &bitmapInfo), 0) << bitmapInfo;
    const long long cluster = numberAfter(info, "Cluster Size");
    std::smatch run;  // the first run of $Bitmap's data: VCN, LCN, length
    ASSERT_TRUE(std::regex_search(bitmapInfo, run, std::regex(R"(Runlist:[^\n]*\n\s*0x0\s+0x([0-9a-fA-F]+))")))
        << bitmapInfo;
    const std::uint64_t bitmapInPartition = std::stoull(run[1], nullptr, 16) * static_cast<std::uint64_t>(cluster);
    // Its second sector: clusters 4096 to 8191, nearly all free after a format.
    const std::uint64_t sectorAt = bitmapInPartition + 512;
    const std::string sector = readAt(kNtfsStart * 512 + sectorAt, 512);
    std::uint64_t clear = 0;
    for (unsigned char c : sector)
        for (int bit = 0; bit < 8; ++bit)
            clear += !(c >> bit & 1);
    ASSERT_GT(clear, 0u);

    const auto freeBytes = [] {
        ULARGE_INTEGER toCaller{}, total{}, free{};
        EXPECT_TRUE(GetDiskFreeSpaceExA("D:\\", &toCaller, &total, &free));
        return free.QuadPart;
    };
    const std::uint64_t before = freeBytes();
    EXPECT_EQ(freeBytes(), before);

    HANDLE volume = CreateFileA("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(sectorAt);
    ASSERT_TRUE(SetFilePointerEx(volume, at, nullptr, FILE_BEGIN));
    const std::string used(512, '\xFF');
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(volume, used.data(), 512, &written, nullptr));
    CloseHandle(volume);
    EXPECT_EQ(freeBytes(), before - clear * static_cast<std::uint64_t>(cluster));

    writeAt(kNtfsStart * 512 + sectorAt, sector);
    EXPECT_EQ(freeBytes(), before);
}

TEST_F(VolumeProbe, DamagedFatBootSectorIsUnrecognised)
{
    formatEx("E:\\", u"FAT32", u"");
    ASSERT_TRUE(callbackLog().doneValue);
    const std::uint64_t at = kFatStart * 512;
    const std::string boot = readAt(at, 512);
    for (auto [offset, bytes] : {std::pair<std::size_t, std::string>{13, std::string(1, '\0')},
                                 {36, std::string(4, '\0')},                        // no FAT
                                 {32, std::string("\xff\xff\xff\x0f", 4)},         // beyond the partition
                                 {44, std::string("\xff\xff\xff\x0f", 4)}}) {     // root beyond the clusters
        std::string damaged = boot;
        damaged.replace(offset, bytes.size(), bytes);
        writeAt(at, damaged);
        EXPECT_TRUE(unrecognised("E:\\")) << "offset " << offset;
    }
    writeAt(at, boot);
    EXPECT_FALSE(unrecognised("E:\\"));
}

TEST_F(VolumeProbe, FatLabelComesFromTheRootDirectoryElseTheBootSector)
{
    formatEx("E:\\", u"FAT32", u"ROOTLABEL");
    ASSERT_TRUE(callbackLog().doneValue);
    const std::uint64_t at = kFatStart * 512;
    const std::string boot = readAt(at, 512);
    const std::uint64_t bytesPerSector = le(boot, 11, 2), perCluster = le(boot, 13, 1);
    const std::uint64_t reserved = le(boot, 14, 2), fats = le(boot, 16, 1), fatSectors = le(boot, 36, 4);
    const std::uint64_t rootCluster = le(boot, 44, 4);
    const std::uint64_t root =
        at + (reserved + fats * fatSectors + (rootCluster - 2) * perCluster) * bytesPerSector;
    ASSERT_EQ(readAt(root, 11), "ROOTLABEL  ");

    writeAt(at + 71, "BOOTLABEL  ");
    EXPECT_EQ(volumeInfo("E:\\").label, u"ROOTLABEL");
    writeAt(root, "\xE5");
    EXPECT_EQ(volumeInfo("E:\\").label, u"BOOTLABEL");

    // A root directory whose chain loops back on itself ends the search.
    std::string deleted(static_cast<std::size_t>(perCluster * bytesPerSector), '\0');
    for (std::size_t i = 0; i < deleted.size(); i += 32)
        deleted[i] = '\xE5';
    writeAt(root, deleted);
    std::string self(4, '\0');
    for (int i = 0; i < 4; ++i)
        self[static_cast<std::size_t>(i)] = static_cast<char>(rootCluster >> (8 * i));
    writeAt(at + reserved * bytesPerSector + rootCluster * 4, self);
    const auto v = volumeInfo("E:\\");
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.label, u"BOOTLABEL");
}

TEST_F(VolumeProbe, FatLabelsAreKeptInTheOemCodePage)
{
    machine::setSetting(m(), "lang_id", "zh-CN");
    formatEx("E:\\", u"FAT32", u"公共分区1");
    ASSERT_TRUE(callbackLog().doneValue);
    EXPECT_EQ(volumeInfo("E:\\").label, u"公共分区1");
    // fsck.fat reads labels in single-byte code pages only, so the bytes are
    // checked here.
    EXPECT_EQ(readAt(kFatStart * 512 + 71, 11), "\xb9\xab\xb9\xb2\xb7\xd6\xc7\xf8" "1  ") << "code page 936 bytes";

    machine::setSetting(m(), "lang_id", "en-US");
    formatEx("E:\\", u"FAT32", u"公共分区1");
    EXPECT_FALSE(callbackLog().doneValue) << "code page 437 cannot hold it";
    formatEx("D:\\", u"NTFS", u"公共分区1");
    ASSERT_TRUE(callbackLog().doneValue);
    EXPECT_EQ(volumeInfo("D:\\").label, u"公共分区1");
    EXPECT_EQ(blkidField(kNtfsStart, "LABEL"), "公共分区1");
}

TEST(VolumeLabels, WhatEachFileSystemRefuses)
{
    using machine::FileSystemKind;
    struct Case {
        FileSystemKind kind;
        const char* label;
        bool taken;
    };
    for (const Case& c : {Case{FileSystemKind::Ntfs, "", true},
                          Case{FileSystemKind::Ntfs, "Public Data; v2.0 [x]+", true},
                          Case{FileSystemKind::Ntfs, "12345678901234567890123456789012", true},
                          Case{FileSystemKind::Ntfs, "123456789012345678901234567890123", false},
                          Case{FileSystemKind::Ntfs, "a/b", false},
                          Case{FileSystemKind::Ntfs, "tab\there", false},
                          Case{FileSystemKind::Ntfs, "\xff\xfe", false},
                          Case{FileSystemKind::Fat32, "ABCDEFGHIJK", true},
                          Case{FileSystemKind::Fat32, "ABCDEFGHIJKL", false},
                          Case{FileSystemKind::Fat32, "NO SPACE OK", true},
                          Case{FileSystemKind::Fat, "A.B", false},
                          Case{FileSystemKind::Fat, "A=B", false},
                          Case{FileSystemKind::Fat, "A[B]", false}})
        EXPECT_EQ(!machine::labelProblem(c.kind, c.label), c.taken) << c.label;
}

}  // namespace
