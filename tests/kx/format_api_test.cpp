// kx_part_format and kx_part_format_progress as callers use them: refusals
// that must never read as success, the log lines, the refreshed handle, the
// progress polled from another thread; and the unmount operation.
#include <algorithm>
#include <atomic>
#include <thread>

#include "format_fixture.h"
#include "fs/pedfilesys.h"

namespace kx_test {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

class FormatApi : public FormatTest {
protected:
    void SetUp() override
    {
        FormatTest::SetUp();
        standardTable({256 * kMiB});
    }
    std::string path(int number) { return partitionPath(diskNumber(1), number); }
};

TEST_F(FormatApi, MissingOrDeletedPartitionsAreFailuresNotSuccess)
{
    EXPECT_EQ(kx_part_format(nullptr, nullptr, "Data", 1, 0), KX_FORMAT_NO_PARTITION);
    EXPECT_EQ(kx_part_format_progress(nullptr), 0.0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_part_format(", "): part == NULL"));

    PedWinPart* old = partition(1);
    ASSERT_EQ(kx_part_delete_all(disk()), 1);
    const std::string print = imagePrint();
    EXPECT_EQ(kx_part_format(old, nullptr, "Data", 1, 0), KX_FORMAT_NO_PARTITION);
    EXPECT_EQ(imagePrint(), print);
    EXPECT_NE(logText().find("Fail to format: (null)\n"), std::string::npos);
}

TEST_F(FormatApi, RefusalsBeforeTheFormatStartsWriteNothingAndLeaveTheProgress)
{
    ASSERT_EQ(kx_part_format(partition(1), nullptr, "First", 1, 0), 0);
    const std::string print = imagePrint();

    // No drive letter gives 6 before the service is looked for: its
    // absence would be the answer otherwise.
    machine::setSetting(m(), "format_service", "absent");
    EXPECT_EQ(kx_part_format(partition(0), nullptr, "Sys", 1, 0), KX_FORMAT_NO_DRIVE);
    EXPECT_NE(logText().find("Fail to format: " + path(1) + "\n"), std::string::npos);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_format:",
                               "]: Partition format: " + path(1) + ": name: Sys, quickformat: 1, clustersize: 0"));
    machine::setSetting(m(), "format_service", "ok");

    EXPECT_EQ(kx_part_format(partition(1), nullptr, std::string(36, 'L').c_str(), 1, 0), KX_FORMAT_BAD_LABEL);
    EXPECT_EQ(kx_part_format(partition(1), nullptr, std::string(33, 'L').c_str(), 1, 0), KX_FORMAT_BAD_LABEL)
        << "NTFS keeps 32 characters";
    // Private NTFS is formatted through the encryption driver, which is not loaded.
    EXPECT_EQ(kx_part_format(partition(1), "s3cret-word", "Private", 1, 0), KX_FORMAT_NO_DRIVER);
    EXPECT_EQ(logText().find("s3cret-word"), std::string::npos) << "passwords are never logged";

    EXPECT_EQ(imagePrint(), print);
    EXPECT_EQ(kx_part_format_progress(partition(1)), 100.0);
}

TEST_F(FormatApi, FormattedHandleDescribesTheNewVolume)
{
    PedWinPart* part = partition(1);
    ASSERT_EQ(kx_part_format(part, nullptr, "Data Disk", 1, 0), 0) << "blanks are fine for the format service";
    // Read without walking again: the format refreshed the record.
    ASSERT_NE(part->name, nullptr);
    EXPECT_STREQ(part->name, "Data Disk");
    EXPECT_GT(part->free, 200 * kMiB);
    EXPECT_LT(part->free, part->size);
    EXPECT_EQ(blkid(2, "LABEL"), "Data Disk");
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_part_format:",
                               "]: Partition format: " + path(2) +
                                   ": name: Data Disk, quickformat: 1, clustersize: 0"));
}

TEST_F(FormatApi, ProgressPolledFromAnotherThreadRisesWhileTheFormatHoldsTheLock)
{
    ASSERT_EQ(kx_part_delete_all(disk()), 1);
    standardTable({2 * kGiB});
    PedWinPart* part = partition(1);
    std::atomic<bool> running{true};
    int result = -1;
    std::thread format([&] {
        result = kx_part_format(part, nullptr, "Watched", 1, 0);
        running = false;
    });
    std::vector<double> seen;
    while (running) {
        const double p = kx_part_format_progress(part);
        if (seen.empty() || seen.back() != p)
            seen.push_back(p);
        std::this_thread::yield();
    }
    format.join();
    ASSERT_EQ(result, 0);
    seen.push_back(kx_part_format_progress(part));

    // Figures between start and end were seen, and from the first of them
    // the figure only rose, to 100.
    const auto first = std::find_if(seen.begin(), seen.end(), [](double p) { return p > 0 && p < 100; });
    ASSERT_NE(first, seen.end()) << "nothing seen between 0 and 100";
    EXPECT_TRUE(std::is_sorted(first, seen.end()));
    EXPECT_GE(std::count_if(first, seen.end(), [](double p) { return p < 100; }), 2);
    EXPECT_EQ(seen.back(), 100.0);
}

TEST_F(FormatApi, UnmountNeedsAMountPointAndTheEncryptionDriver)
{
    PedWinPart* system = partition(0);
    EXPECT_EQ(kx::ped_file_system_umount(kx::partData(kx::partitionOf(system))->fs), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\fs\\pedfilesys:ped_file_system_umount:", "]: mount_point is empty"));

    // Until the driver is there, a mounted drive stays mounted.
    PedWinPart* pub = partition(1);
    ASSERT_NE(pub->mountpoint, nullptr);
    const std::string drive = pub->mountpoint;
    EXPECT_EQ(kx::PedWinPartUnload(pub), 1);
    EXPECT_EQ(pub->mountpoint ? pub->mountpoint : "", drive);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\fs\\pedfilesys:ped_file_system_umount:",
                               "]: fail to umount:" + path(2) + ", " + drive.substr(0, 1)));
}

}  // namespace
}  // namespace kx_test
