// Set-up of the label tests: a started library on a fresh machine, the
// appliance disk's device record and table, and readers of the image.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_api.h"  // first: the fixtures below call win:: functions
#include "disk_api_fixture.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"

namespace kx_test {

// One GiB in 512-byte sectors.
inline constexpr long long kOneGiB = (1ll << 30) / 512;

// One partition as the table in memory holds it.
struct Seen {
    int num = 0;
    int type = 0;
    long long start = 0, end = 0;
    unsigned system = 0;
    bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Seen& s)
{
    return out << "#" << s.num << " type " << s.type << " [" << s.start << "," << s.end << "] id " << std::hex
               << s.system << std::dec;
}

class LabelTest : public DiskApiTest {
protected:
    // The library probes when the test says so, after it has set the disk up.
    void SetUp() override { DeviceTest::SetUp(); }

    void probe() { ASSERT_EQ(kx_dev_probe(), 1); }

    kx::PedDevice* wholeDisk()
    {
        const std::string path = devpath();
        for (kx::PedWinDev* c = kx::candidates(); c; c = c->next)
            if (c->dev.path && path == c->dev.path)
                return c->peddev;
        return nullptr;
    }

    ::PedDisk* table()
    {
        kx::PedDevice* dev = wholeDisk();
        return dev ? dev->disk : nullptr;
    }

    bool reread() { return kx::ped_disk_probe(wholeDisk()) != nullptr; }
    bool commit() { return table() && ped_disk_commit_to_dev(table()) == 1; }

    static Seen seen(const ::PedPartition* p)
    {
        const kx::MsdosPartitionData* d = kx::partData(p);
        return {p->num, static_cast<int>(p->type), p->geom.start, p->geom.end, d ? d->system : 0u};
    }

    // Top-level partitions, then the logical ones.
    std::vector<Seen> partitions()
    {
        std::vector<Seen> list;
        ::PedDisk* disk = table();
        for (::PedPartition* p = kx::nextTopLevel(disk, nullptr); p; p = kx::nextTopLevel(disk, p))
            list.push_back(seen(p));
        for (::PedPartition* p = kx::nextLogical(disk, nullptr); p; p = kx::nextLogical(disk, p))
            list.push_back(seen(p));
        return list;
    }

    ::PedPartition* partition(int num) { return ped_disk_get_partition(table(), num); }

    int codeOf(int num)
    {
        const kx::MsdosPartitionData* d = kx::partData(partition(num));
        return d && d->fs ? d->fs->code : -1;
    }

    // What sfdisk reads from the image, in our terms.
    std::vector<DumpEntry> dumpOf(const std::vector<Seen>& list)
    {
        std::vector<DumpEntry> out;
        for (const Seen& s : list)
            out.push_back({s.num, static_cast<std::uint64_t>(s.start), static_cast<std::uint64_t>(s.end - s.start + 1),
                           s.system});
        return out;
    }

    int countLines(const std::string& text)
    {
        int n = 0;
        for (const std::string& line : linesOf(logText()))
            n += line.find(text) != std::string::npos;
        return n;
    }

    void putSector(std::uint64_t lba, const std::vector<std::uint8_t>& bytes) { putImageBytes(1, lba * 512, bytes); }
};

// A label test that starts from the library's probe of the disk as set up.
class ProbedLabelTest : public LabelTest {
protected:
    void SetUp() override
    {
        LabelTest::SetUp();
        probe();
        ASSERT_NE(table(), nullptr);
    }

    // Adds a partition of this many sectors after the last partition of the
    // area, cut at the area's limit, through make: the exported maker or the
    // label's own.
    template <typename Make>
    int appendWith(Make make, ::PedPartitionType type, int code, long long sectors, int area)
    {
        const kx::FreeSpace free = kx::ped_disk_query_free(table(), area);
        const std::uint64_t end = std::min<std::uint64_t>(free.start + sectors - 1, free.limit - 1);
        return make(table(), type, code, free.start, end);
    }
};

}  // namespace kx_test
