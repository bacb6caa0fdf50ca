// The chain of extended boot records: laid out for writing, and read back
// from bytes that may be hostile, over an in-memory disk.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "labels/pedmsdos_chain.h"

namespace {

using namespace kx::mbr;

struct MemoryDisk {
    std::map<std::uint64_t, Sector> sectors;  // absent sectors read as zeros
    std::vector<std::string> lines;
    std::uint64_t failAt = ~0ull;

    ChainStatus read(std::uint64_t extStart, std::uint64_t extEnd, std::vector<Logical>& out)
    {
        return readChain(
            extStart, extEnd, "disk",
            [this](std::uint64_t lba, std::uint8_t* buf) {
                if (lba == failAt)
                    return false;
                auto it = sectors.find(lba);
                Sector s = it == sectors.end() ? Sector{} : it->second;
                std::copy(s.begin(), s.end(), buf);
                return true;
            },
            [this](const std::string& line) { lines.push_back(line); }, out);
    }

    // An EBR at `at` holding a logical partition `rel` sectors on and a link.
    void ebr(std::uint64_t at, std::uint32_t rel, std::uint32_t count, std::uint32_t linkRel = 0,
             std::uint32_t linkCount = 0, std::uint16_t magic = kMagic)
    {
        Sector s{};
        if (count)
            putEntry(s.data(), 0, Entry{0, 0x07, rel, count}, at + rel, at + rel + count - 1, {});
        if (linkCount)
            putEntry(s.data(), 1, Entry{0, 0x05, linkRel, linkCount}, 0, 0, {});
        put16(s.data() + kMagicOffset, magic);
        sectors[at] = s;
    }

    bool saw(const std::string& text) const
    {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
};

constexpr std::uint64_t kExtStart = 10000, kExtEnd = 99999;

TEST(LabelChain, PlannedChainReadsBackTheSameLogicalPartitions)
{
    const std::vector<Logical> logicals = {
        {kExtStart + 64, 20000, 0x07, false},
        {20064, 40000, 0x0B, true},
        {40064, kExtEnd, 0x83, false},
    };
    std::vector<EbrWrite> records;
    ASSERT_TRUE(planChain(kExtStart, kExtEnd, logicals, {}, records, nullptr));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].sector, kExtStart);
    EXPECT_EQ(records[1].sector, 20063u);  // the sector before its partition
    EXPECT_EQ(records[2].sector, 40063u);
    // Links are relative to the extended partition, logical entries to their record.
    EXPECT_EQ(getEntry(records[0].bytes.data(), 1).start, 20063u - kExtStart);
    EXPECT_EQ(getEntry(records[0].bytes.data(), 1).count, 40000u - 20063u + 1);
    EXPECT_EQ(getEntry(records[1].bytes.data(), 0).start, 1u);
    EXPECT_TRUE(getEntry(records[2].bytes.data(), 1).empty());

    MemoryDisk disk;
    for (const auto& r : records)
        disk.sectors[r.sector] = r.bytes;
    std::vector<Logical> back;
    ASSERT_EQ(disk.read(kExtStart, kExtEnd, back), ChainStatus::Ok);
    ASSERT_EQ(back.size(), logicals.size());
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].start, logicals[i].start) << i;
        EXPECT_EQ(back[i].end, logicals[i].end) << i;
        EXPECT_EQ(back[i].system, logicals[i].system) << i;
        EXPECT_EQ(back[i].boot, logicals[i].boot) << i;
    }
    EXPECT_TRUE(disk.lines.empty());
}

TEST(LabelChain, PlanRefusesRecordsWithoutRoom)
{
    std::vector<EbrWrite> records;
    std::string why;
    // Back to back: no sector left for the second record.
    EXPECT_FALSE(planChain(kExtStart, kExtEnd, {{kExtStart + 1, 20000, 7, false}, {20001, 30000, 7, false}}, {},
                           records, &why));
    EXPECT_FALSE(why.empty());
    // The first logical partition on the extended partition's own first sector.
    EXPECT_FALSE(planChain(kExtStart, kExtEnd, {{kExtStart, 20000, 7, false}}, {}, records, nullptr));
    // Beyond the extended partition.
    EXPECT_FALSE(planChain(kExtStart, kExtEnd, {{kExtStart + 64, kExtEnd + 1, 7, false}}, {}, records, nullptr));
    EXPECT_TRUE(records.empty());
}

TEST(LabelChain, NoLogicalPartitionsWritesOneEmptyRecord)
{
    std::vector<EbrWrite> records;
    ASSERT_TRUE(planChain(kExtStart, kExtEnd, {}, {}, records, nullptr));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sector, kExtStart);
    EXPECT_EQ(magicOf(records[0].bytes.data()), kMagic);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_TRUE(getEntry(records[0].bytes.data(), slot).empty());
}

TEST(LabelChain, LoopsEndTheChainWithTheRecursiveMessage)
{
    // Two records pointing at each other.
    MemoryDisk twoLoop;
    twoLoop.ebr(kExtStart, 64, 100, 1000, 200);
    twoLoop.ebr(kExtStart + 1000, 1, 100, 0, 200);
    std::vector<Logical> out;
    EXPECT_EQ(twoLoop.read(kExtStart, kExtEnd, out), ChainStatus::Ok);
    EXPECT_EQ(out.size(), 2u);
    EXPECT_TRUE(twoLoop.saw("Invalid partition table - recursive partition on disk."));

    // A logical entry on its own record's sector is skipped the same way.
    MemoryDisk self;
    self.ebr(kExtStart, 0, 100);
    out.clear();
    EXPECT_EQ(self.read(kExtStart, kExtEnd, out), ChainStatus::Ok);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(self.saw("recursive partition"));
}

TEST(LabelChain, LinkOutsideTheExtendedPartitionOrTooManyRecordsAreInvalid)
{
    MemoryDisk outside;
    outside.ebr(kExtStart, 64, 100, 0x7FFFFFFF, 100);
    std::vector<Logical> out;
    EXPECT_EQ(outside.read(kExtStart, kExtEnd, out), ChainStatus::Invalid);
    EXPECT_TRUE(outside.saw("outside the extended partition"));

    // An endless forward chain is cut at the last partition number.
    MemoryDisk endless;
    for (std::uint32_t i = 0; i < 200; ++i)
        endless.ebr(kExtStart + 100 * i, 1, 50, 100 * (i + 1), 51);
    out.clear();
    EXPECT_EQ(endless.read(kExtStart, kExtEnd, out), ChainStatus::Invalid);
    EXPECT_EQ(out.size(), static_cast<size_t>(kMaxLogical));

    // Records that only link on are bounded too, not followed across the disk.
    MemoryDisk links;
    for (std::uint32_t i = 0; i < 1000; ++i)
        links.ebr(kExtStart + 10 * i, 0, 0, 10 * (i + 1), 10);
    std::size_t reads = 0;
    out.clear();
    const auto status = readChain(
        kExtStart, kExtEnd, "disk",
        [&](std::uint64_t lba, std::uint8_t* buf) {
            ++reads;
            const Sector s = links.sectors.count(lba) ? links.sectors[lba] : Sector{};
            std::copy(s.begin(), s.end(), buf);
            return true;
        },
        [&](const std::string& line) { links.lines.push_back(line); }, out);
    EXPECT_EQ(status, ChainStatus::Invalid);
    EXPECT_TRUE(out.empty());
    EXPECT_LE(reads, static_cast<std::size_t>(2 * kMaxPartitions));
    EXPECT_TRUE(links.saw("Too many logical partitions on disk."));
}

TEST(LabelChain, RecordsWithoutTheBootSignatureEndTheChain)
{
    MemoryDisk disk;
    disk.ebr(kExtStart, 64, 100, 1000, 200);
    disk.ebr(kExtStart + 1000, 1, 100, 0, 0, kEmptyEbrMagic);
    std::vector<Logical> out;
    EXPECT_EQ(disk.read(kExtStart, kExtEnd, out), ChainStatus::Ok);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_TRUE(disk.lines.empty());  // 0xF6 0xF6 is a normal empty record

    MemoryDisk zeroed;  // nothing ever written into the extended partition
    out.clear();
    EXPECT_EQ(zeroed.read(kExtStart, kExtEnd, out), ChainStatus::Ok);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(zeroed.saw("wrong signature 0."));
}

TEST(LabelChain, UnreadableRecordFails)
{
    MemoryDisk disk;
    disk.ebr(kExtStart, 64, 100, 1000, 200);
    disk.failAt = kExtStart + 1000;
    std::vector<Logical> out;
    EXPECT_EQ(disk.read(kExtStart, kExtEnd, out), ChainStatus::ReadFailed);
}

}  // namespace
