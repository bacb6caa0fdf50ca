// A quick format of a large partition stays quick and keeps the disk image
// sparse.
#include <chrono>

#include "volume_testing.h"

using namespace win;
using namespace volume_testing;

namespace {

using LargeVolume = VolumeTest;

TEST_F(LargeVolume, QuickNtfsOfSixtyGibibytesWritesTensOfMebibytes)
{
    machine::DiskOptions options;
    options.size = 64ull << 30;
    const int slot = machine::addDisk(m(), options);
    constexpr std::uint64_t kSectors = 60ull << 21;  // 60 GiB
    partitionWithSfdisk(slot, "label: dos\\nstart=2048, size=" + std::to_string(kSectors) + ", type=7\\n");
    const char letter = state()->disks[static_cast<size_t>(slot)].partitions.at(0).letter;
    ASSERT_NE(letter, 0);
    const std::string root = std::string(1, letter) + ":\\";

    const auto start = std::chrono::steady_clock::now();
    formatEx(root.c_str(), u"NTFS", u"Big");
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("quick_ntfs_60gib_ms", static_cast<int>(ms));
    ASSERT_TRUE(callbackLog().doneValue);
    EXPECT_GE(callbackLog().percents.size(), 10u);

    const std::uint64_t allocated = allocatedBytes(diskImage(slot).string());
    EXPECT_LT(allocated, 128ull << 20) << "the image lost its holes";
    EXPECT_GT(allocated, 1ull << 20);
    EXPECT_EQ(blkidField(2048, "TYPE", slot), "ntfs");
    ULARGE_INTEGER toCaller{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &toCaller, &total, &free));
    EXPECT_GT(total.QuadPart, (60ull << 30) - (1ull << 20));
    EXPECT_LE(total.QuadPart, 60ull << 30);
    EXPECT_GT(free.QuadPart, total.QuadPart - (200ull << 20)) << "a new volume is nearly empty";
    std::printf("quick NTFS format of 60 GiB: %lld ms, image holds %llu MiB\n", static_cast<long long>(ms),
                static_cast<unsigned long long>(allocated >> 20));
}

}  // namespace
