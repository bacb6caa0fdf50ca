// Formats that reach the disk: what the host's own tools find on the image
// afterwards, and what the library's records say about the new volumes.
#include "format_fixture.h"

namespace kx_test {
namespace {

constexpr std::uint64_t kMiB256 = 256ull << 20;

class FormatVolume : public FormatTest {};

TEST_F(FormatVolume, ThreePublicPartitionsBecomeNtfsVolumesWithTheirLabels)
{
    standardTable({kMiB256, kMiB256, kMiB256});
    for (int n = 1; n <= 3; ++n) {
        const std::string label = "Partition-" + std::to_string(n);
        // Fetched afresh for each format, as callers must after a change.
        PedWinPart* part = partition(n);
        ASSERT_NE(part, nullptr);
        EXPECT_EQ(kx_part_format(part, nullptr, label.c_str(), 1, 0), 0) << label;
        EXPECT_EQ(kx_part_format_progress(part), 100.0);
    }
    for (int n = 1; n <= 3; ++n) {
        const int number = n + 1;  // after the system partition
        EXPECT_EQ(blkid(number, "TYPE"), "ntfs") << number;
        EXPECT_EQ(blkid(number, "LABEL"), "Partition-" + std::to_string(n));
        std::string out;
        EXPECT_EQ(testing_support::runCommand("ntfsinfo -m " + extract(number), &out), 0) << out;
        EXPECT_NE(out.find("Volume Name: Partition-" + std::to_string(n)), std::string::npos) << out;
    }
    EXPECT_EQ(blkid(1, "TYPE"), "") << "the system partition is left alone";
}

TEST_F(FormatVolume, Fat32PartitionIsFormattedFat32)
{
    PedWinPart* part = fat32Partition();
    // FAT holds 11 bytes of label: a longer one is refused before anything is
    // written, where the service would fail and its fallback format NTFS.
    const std::string print = imagePrint();
    EXPECT_EQ(kx_part_format(part, nullptr, "PUBLIC_DATA1", 1, 0), KX_FORMAT_BAD_LABEL);
    EXPECT_EQ(imagePrint(), print);
    ASSERT_EQ(kx_part_format(partition(1), nullptr, "PUBLIC_DATA", 1, 0), 0);
    EXPECT_EQ(blkid(2, "TYPE"), "vfat");
    EXPECT_EQ(blkid(2, "VERSION"), "FAT32");
    EXPECT_EQ(blkid(2, "LABEL"), "PUBLIC_DATA");
    std::string out;
    EXPECT_EQ(testing_support::runCommand("fsck.fat -n " + extract(2), &out), 0) << out;
    EXPECT_EQ(kx_part_format_progress(partition(1)), 100.0);
}

}  // namespace
}  // namespace kx_test
