// Partition device records: which partition device a table's partition is,
// its extent, and its drive letter.
#include "device_fixture.h"

namespace kx_test {
namespace {

class DevicePartition : public DeviceTest {
protected:
    // Probes the disk with this table and returns its candidate.
    kx::PedWinDev* probed(const std::string& script)
    {
        partitionWithSfdisk(1, script);
        EXPECT_EQ(kx::PedWinDeviceProbe(), 1);
        const auto list = candidateList();
        EXPECT_EQ(list.size(), 1u);
        return list.empty() ? nullptr : list.front();
    }

    // A fresh probe of one partition, with a log of its own.
    kx::PedDevice* probePart(::PedPartition* part, int firstOnly, int* result = nullptr)
    {
        kx::partData(part)->dev = nullptr;  // an earlier record stays registered
        writeFile(logFile(), "");
        const int r = kx::deviceOps()->probe_part(part, firstOnly);
        if (result)
            *result = r;
        return kx::partData(part)->dev;
    }

    static int count(const std::string& text, const std::string& line)
    {
        int n = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            ++n;
        return n;
    }

    static std::string letterOf(const machine::PublishedPartition& p) { return {p.letter, ':'}; }
};

TEST_F(DevicePartition, PartitionIsFoundByItsExtent)
{
    kx::PedWinDev* c = probed("start=2048, size=204800, type=7\\nstart=206848, size=204800, type=b\\n");
    ASSERT_NE(c, nullptr);
    kx::PedDevice* dev = probePart(topLevel(c, 2), 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_STREQ(dev->path, "\\Device\\Harddisk1\\Partition2");
    EXPECT_EQ(dev->partition, 1);
    EXPECT_EQ(dev->geom.start, 206848);
    EXPECT_EQ(dev->geom.length, 204800);
    EXPECT_EQ(dev->geom.end, 206848 + 204800 - 1);
    EXPECT_EQ(dev->geom.dev, dev);
    EXPECT_EQ(dev->size, 204800ll * 512);
    EXPECT_EQ(dev->length, 204800);
    EXPECT_STREQ(dev->mount_point, letterOf(state()->disks[1].partitions[1]).c_str());
    EXPECT_FALSE(tempNameDefined());

    // First-only takes partition 1 whatever the extent.
    dev = probePart(topLevel(c, 2), 1);
    ASSERT_NE(dev, nullptr);
    EXPECT_STREQ(dev->path, "\\Device\\Harddisk1\\Partition1");
    EXPECT_EQ(dev->geom.start, 2048);
}

TEST_F(DevicePartition, LogicalPartitionsAndTheExtendedOne)
{
    kx::PedWinDev* c = probed("start=2048, size=1000000, type=5\\nstart=4096, size=100000, type=7\\n"
                              "start=206848, size=100000, type=7\\n");
    ASSERT_NE(c, nullptr);
    ::PedPartition* ext = topLevel(c, 1);
    ASSERT_TRUE(ext && (ext->type & PED_PARTITION_EXTENDED));
    int result = 0;
    EXPECT_EQ(probePart(ext, 0, &result), nullptr);
    EXPECT_EQ(result, 1);

    ::PedPartition* second = kx::nextLogical(c->peddev->disk, kx::nextLogical(c->peddev->disk, nullptr));
    ASSERT_NE(second, nullptr);
    kx::PedDevice* dev = probePart(second, 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->geom.start, second->geom.start);
    EXPECT_STREQ(dev->path, "\\Device\\Harddisk1\\Partition2");
}

TEST_F(DevicePartition, PartitionWindowsDoesNotShowGetsNoRecord)
{
    machine::setDiskSetting(m(), 1, "publish_delay_ms", "3600000");
    kx::PedWinDev* c = probed("start=2048, size=204800, type=7\\n");
    ASSERT_NE(c, nullptr);
    const int records = registrySize();
    int result = 1;
    EXPECT_EQ(probePart(topLevel(c, 1), 0, &result), nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(registrySize(), records);

    EXPECT_EQ(kx::deviceOps()->probe_part(nullptr, 0), 0);
    EXPECT_TRUE(contains(logText(), "): part != NULL\n"));
}

TEST_F(DevicePartition, LateLetterIsFoundOnARetry)
{
    kx::PedWinDev* c = probed("start=2048, size=204800, type=7\\n");
    ASSERT_NE(c, nullptr);
    // Real time here: the retries must outwait the mount manager.
    machine::setSetting(m(), "time_scale", "1");
    machine::setDiskSetting(m(), 1, "letter_delay_ms", "700");
    rescan(1);
    kx::PedDevice* dev = probePart(topLevel(c, 1), 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_STREQ(dev->mount_point, letterOf(state()->disks[1].partitions[0]).c_str());
    const std::string log = logText();
    EXPECT_TRUE(hasLocatedLine(log, "ERR:[.\\arch\\pedwindow:ped_dev_win_probe_part():",
                               "]Fail to get mountpoint: \\Device\\Harddisk1\\Partition1"))
        << log;
    // Found before the last report that gives up.
    EXPECT_LE(count(log, "Fail to get mountpoint"), 3) << log;
}

TEST_F(DevicePartition, LetterThatNeverComesIsReportedFourTimes)
{
    machine::setDiskSetting(m(), 1, "letter_delay_ms", "3600000");
    kx::PedWinDev* c = probed("start=2048, size=204800, type=7\\n");
    ASSERT_NE(c, nullptr);
    kx::PedDevice* dev = probePart(topLevel(c, 1), 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->mount_point, nullptr);
    EXPECT_EQ(count(logText(), "Fail to get mountpoint: \\Device\\Harddisk1\\Partition1\n"), 4);
}

TEST_F(DevicePartition, UpdateTakesTheCurrentLetter)
{
    kx::PedWinDev* c = probed("start=2048, size=204800, type=7\\nstart=206848, size=204800, type=17\\n");
    ASSERT_NE(c, nullptr);
    ::PedPartition* part = topLevel(c, 1);
    kx::PedDevice* dev = probePart(part, 0);
    ASSERT_NE(dev, nullptr);
    free(dev->mount_point);
    dev->mount_point = strdup("Q:");
    EXPECT_EQ(kx::deviceOps()->part_update_info(part), 1);
    EXPECT_STREQ(dev->mount_point, letterOf(state()->disks[1].partitions[0]).c_str());
    EXPECT_NE(kx::partData(part)->fs, nullptr);

    // A hidden partition has a record but is not even looked up for a
    // letter that cannot come.
    ::PedPartition* hidden = topLevel(c, 2);
    kx::PedDevice* hiddenDev = probePart(hidden, 0);
    ASSERT_NE(hiddenDev, nullptr);
    EXPECT_STREQ(hiddenDev->path, "\\Device\\Harddisk1\\Partition2");
    EXPECT_EQ(hiddenDev->mount_point, nullptr);
    EXPECT_FALSE(contains(logText(), "Fail to get mountpoint"));
    EXPECT_EQ(kx::deviceOps()->part_update_info(hidden), 0);

    kx::partData(hidden)->dev = nullptr;
    EXPECT_EQ(kx::deviceOps()->part_update_info(hidden), 0);
    EXPECT_EQ(kx::deviceOps()->part_update_info(nullptr), 0);
    EXPECT_TRUE(contains(logText(), "): part->dev == NULL && part->dev->path == NULL\n"));
}

}  // namespace
}  // namespace kx_test
