// The FAT formatter on its own: layouts chosen by size and cluster size, and
// file systems that the host's fsck.fat finds clean.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fs/fat_writer.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using kx::fat::plan;

constexpr std::uint64_t kMiBSectors = 2048;

struct Case {
    bool fat32;
    std::uint64_t mib;
    std::uint32_t clusterBytes;
    int bits;
};

class FatLayout : public ::testing::TestWithParam<Case> {};

// Writes the file system into a sparse file of its size and checks it.
TEST_P(FatLayout, WrittenVolumeIsCleanAndLabelled)
{
    const Case c = GetParam();
    const auto layout = plan(c.fat32, c.mib * kMiBSectors, c.clusterBytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bits, c.bits);
    if (c.clusterBytes)
        EXPECT_EQ(layout->sectorsPerCluster * 512, c.clusterBytes);

    char pattern[] = "/tmp/orvane-fat-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.mib << 20)), 0);
    const bool written = kx::fat::write(*layout, {"Private 1", 0x1234ABCD},
                                        [&](std::uint64_t sector, std::span<const std::uint8_t> bytes) {
                                            return ::pwrite(fd, bytes.data(), bytes.size(),
                                                            static_cast<off_t>(sector * 512)) ==
                                                   static_cast<ssize_t>(bytes.size());
                                        });
    ::close(fd);
    ASSERT_TRUE(written);

    std::string out;
    EXPECT_EQ(testing_support::runCommand(std::string("fsck.fat -n ") + pattern, &out), 0) << out;
    EXPECT_EQ(out.find("Dirty"), std::string::npos) << out;
    EXPECT_EQ(testing_support::runCommand(std::string("blkid -o value -s LABEL ") + pattern, &out), 0);
    EXPECT_EQ(out, "PRIVATE 1\n");
    fs::remove(pattern);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FatLayout,
                         ::testing::Values(Case{false, 2, 0, 12}, Case{false, 200, 0, 16},
                                           Case{false, 128, 16384, 16}, Case{true, 600, 0, 32},
                                           Case{true, 100, 512, 32}));

TEST(FatPlan, RefusesWhatTheKindCannotHold)
{
    EXPECT_FALSE(plan(false, 3ull * 1024 * kMiBSectors, 0)) << "FAT stops at 2 GiB with 32 KiB clusters";
    EXPECT_FALSE(plan(false, 3ull * 1024 * kMiBSectors, 32768));
    EXPECT_FALSE(plan(true, 20 * kMiBSectors, 0)) << "too few clusters for FAT32";
    EXPECT_FALSE(plan(true, 600 * kMiBSectors, 16384)) << "16 KiB clusters leave too few";
    EXPECT_FALSE(plan(true, 600 * kMiBSectors, 3000));
    EXPECT_FALSE(plan(true, 600 * kMiBSectors, 65536));
    EXPECT_FALSE(plan(false, 4, 0));
}

TEST(FatPlan, LabelFieldIsAShortName)
{
    EXPECT_EQ(kx::fat::labelField(""), "NO NAME    ");
    EXPECT_EQ(kx::fat::labelField("data"), "DATA       ");
    EXPECT_EQ(kx::fat::labelField("a.b*c/d:e?f[g]"), "A_B_C_D_E_F");
}

}  // namespace
