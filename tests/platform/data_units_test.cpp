// Where a volume's copy finds data: sparse files give their data extents, a
// descriptor that cannot say (a block device) gives every unit, and a
// scratch copy's data is zeros before it goes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crypt/data_units.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using win::detail::dataUnits;
using win::detail::UnitRange;

constexpr std::uint64_t kMiB = 1 << 20;

class DataUnits : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string templ = (fs::temp_directory_path() / "orvane-units-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A sparse file of the given size with text at each offset.
    int sparseFile(const std::string& name, std::uint64_t size, const std::vector<std::uint64_t>& at,
                   const std::string& text)
    {
        const int fd = ::open((dir_ / name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        for (const std::uint64_t offset : at)
            EXPECT_EQ(::pwrite(fd, text.data(), text.size(), static_cast<off_t>(offset)),
                      static_cast<ssize_t>(text.size()));
        return fd;
    }
    static bool covered(const std::vector<UnitRange>& ranges, std::uint64_t begin, std::uint64_t end)
    {
        for (const auto& r : ranges)
            if (r.begin <= begin && end <= r.end)
                return true;
        return false;
    }

    fs::path dir_;
};

TEST_F(DataUnits, SparseFilesGiveWholeUnitsAroundTheirData)
{
    const int fd = sparseFile("sparse.bin", 4 * kMiB, {100, 2 * kMiB + 700}, "volume bytes");
    auto ranges = dataUnits(fd, 0, 4 * kMiB);
    EXPECT_TRUE(covered(ranges, 0, 512));
    EXPECT_TRUE(covered(ranges, 2 * kMiB + 512, 2 * kMiB + 1024));
    for (const auto& r : ranges) {
        EXPECT_EQ(r.begin % 512, 0u);
        EXPECT_EQ(r.end % 512, 0u);
        EXPECT_LE(r.end, 4 * kMiB);
    }
    // Relative to the start asked for, and cut at its end.
    ranges = dataUnits(fd, 2 * kMiB, 1024);
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.back().end, 1024u);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    if (st.st_blocks * 512 < static_cast<off_t>(4 * kMiB))  // the file system keeps holes
        EXPECT_TRUE(dataUnits(fd, kMiB, 512 * 1024).empty());
    ::close(fd);
}

// A descriptor that refuses SEEK_DATA says nothing about holes: taking the
// refusal for "no data" made a block device's copy all zeros.
TEST_F(DataUnits, DescriptorsThatCannotSeekDataGiveEveryUnit)
{
    const int proc = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(proc, 0);
    ASSERT_LT(::lseek(proc, 0, SEEK_DATA), 0);
    auto ranges = dataUnits(proc, 0, 4096);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].begin, 0u);
    EXPECT_EQ(ranges[0].end, 4096u);
    ::close(proc);

    // A block device over a sparse file of ours, read only.
    const int backing = sparseFile("backing.bin", 4 * kMiB, {kMiB}, "data on a block device");
    ::close(backing);
    std::string device;
    if (::geteuid() != 0 ||
        testing_support::runCommand("losetup -f --show -r '" + (dir_ / "backing.bin").string() + "'",
                                    &device) != 0 ||
        device.empty())
        GTEST_SKIP() << "no loop device to be had here";
    while (!device.empty() && device.back() == '\n')
        device.pop_back();
    const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ranges = dataUnits(fd, 0, 4 * kMiB);
        ASSERT_EQ(ranges.size(), 1u) << device;
        EXPECT_EQ(ranges[0].begin, 0u);
        EXPECT_EQ(ranges[0].end, 4 * kMiB);
        ranges = dataUnits(fd, kMiB, 2048);
        ASSERT_EQ(ranges.size(), 1u);
        EXPECT_EQ(ranges[0].end, 2048u);
        ::close(fd);
    }
    EXPECT_EQ(testing_support::runCommand("losetup -d " + device), 0);
    ASSERT_GE(fd, 0) << device;
}

TEST_F(DataUnits, AWipedScratchCopyHoldsOnlyZerosAndKeepsItsSize)
{
    const std::string secret(3000, 's');
    const int fd = sparseFile("scratch.bin", 4 * kMiB, {0, 3 * kMiB - 10}, secret);
    ASSERT_TRUE(win::detail::wipeDataUnits(fd, 4 * kMiB));
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, static_cast<off_t>(4 * kMiB));
    std::vector<char> all(4 * kMiB);
    ASSERT_EQ(::pread(fd, all.data(), all.size(), 0), static_cast<ssize_t>(all.size()));
    EXPECT_EQ(std::string(all.begin(), all.end()).find('s'), std::string::npos);
    ::close(fd);
}

}  // namespace
