// Waiting for Windows to show a new table: the three pauses, the re-read
// asked for on every negative test, and the lock let go while waiting.
#include <atomic>
#include <chrono>
#include <thread>

#include "disk_api_fixture.h"

namespace kx_test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Ready : public DiskApiTest {
protected:
    void SetUp() override
    {
        DiskApiTest::SetUp();
        // 4000 ms pauses take 40 ms: long enough to tell the pauses apart
        // from the work between them.
        machine::setSetting(m(), "time_scale", "0.01");
    }

    // Writes a two-partition table that Windows shows only after delay_ms.
    void tableShownLate(const std::string& delayMs)
    {
        machine::setDiskSetting(m(), 1, "publish_delay_ms", delayMs);
        partitionWithSfdisk(1, "label: dos\\nstart=131136, size=1966016, type=82\\nstart=2097215, size=204800, type=7\\n");
    }

    int rereads() { return state()->nextVolume; }  // two volumes per re-read of this table
};

TEST_F(Ready, NeverShownTableIsNotReadyAfterThreePausesEachAfterAReread)
{
    tableShownLate("3600000");
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 0);

    const int before = rereads();
    const auto start = Clock::now();
    EXPECT_EQ(kx_disk_ready(disk()), 0);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 120ms) << "three pauses of 40 ms";
    EXPECT_LT(took, 2000ms);
    EXPECT_EQ(rereads() - before, 2 * 4) << "each of the four negative tests asks Windows to re-read";
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_disk_ready:", "]: " + devpath() + ",Disk ready: 0"));
}

TEST_F(Ready, LatePartitionsAreFoundAfterAPause)
{
    tableShownLate("3600000");
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 0);
    EXPECT_EQ(kx_part_num(disk(), KX_PART_ALL), 2) << "the table is read even when Windows lags";

    // From now on a re-read shows the partitions within 10 ms.
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "1000");
    const auto start = Clock::now();
    EXPECT_EQ(kx_disk_ready(disk()), 1);
    EXPECT_GE(Clock::now() - start, 40ms);
    PedWinPart* pub = kx_part_getinfo(disk(), kx_part_getinfo(disk(), nullptr, KX_PART_ALL), KX_PART_ALL);
    ASSERT_NE(pub, nullptr);
    EXPECT_NE(pub->mountpoint, nullptr);
}

TEST_F(Ready, OnlyTheStandardTableTreatsLatenessAsFailure)
{
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "3600000");
    EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_NTFS, kGiB), 1);
    EXPECT_EQ(kx_part_delete_all(disk()), 1);
    EXPECT_EQ(kx_part_create_pnum(disk(), 1, kGiB, 0, 0, kGiB), 0);
    // Written all the same: the caller restarts the device to have it read.
    EXPECT_EQ(dump().size(), 2u);
}

TEST_F(Ready, OtherThreadsUseTheLibraryDuringThePauses)
{
    tableShownLate("3600000");
    kx_disk_probe(devpath().c_str());
    kx_disk* d = disk();
    std::atomic<bool> waiting{true};
    std::thread waiter([&] {
        kx_disk_ready(d);
        waiting = false;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(kx_part_num(d, KX_PART_ALL), 2);
    EXPECT_NE(kx_dev_get(nullptr, 0, 0), nullptr);
    EXPECT_TRUE(waiting) << "the calls above had to wait for the whole readiness loop";
    waiter.join();
}

TEST_F(Ready, SystemPartitionNeedsNoDriveOnlyAsAPrimary)
{
    partitionWithSfdisk(1, "label: dos\\nstart=131136, size=204800, type=82\\n");
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 1);
    partitionWithSfdisk(1, "label: dos\\nstart=131136, size=409600, type=5\\nstart=133184, size=204800, type=82\\n");
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 0);
}

TEST_F(Ready, UnknownDiskIsNeverReady)
{
    EXPECT_EQ(kx_disk_probe("\\Device\\Harddisk9\\Partition0"), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_disk_probe:",
                               "]: Disk is probe:\\Device\\Harddisk9\\Partition0"));
}

}  // namespace
}  // namespace kx_test
