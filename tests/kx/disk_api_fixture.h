// Set-up of the disk and partition API tests: a started library that has
// probed the machine, and readers of what ended up on the appliance disk.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "support/temp_machine.h"

namespace kx_test {

// One line of `sfdisk --dump`.
struct DumpEntry {
    int number = 0;  // the N of imageN
    std::uint64_t start = 0, size = 0;
    unsigned type = 0;
    bool operator==(const DumpEntry&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const DumpEntry& e)
{
    return out << "#" << e.number << " " << e.start << "+" << e.size << " type " << std::hex << e.type << std::dec;
}

inline constexpr std::uint64_t kGiB = 1ull << 30;
// The blank appliance disk of a fresh machine, in sectors.
inline constexpr std::uint64_t kDiskSectors = 8 * kGiB / 512;

class DiskApiTest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_EQ(kx_dev_probe(), 1);
    }

    std::string devpath() { return wholeDiskPath(diskNumber(1)); }

    kx_disk* disk()
    {
        kx_disk* d = kx_disk_get(devpath().c_str());
        EXPECT_NE(d, nullptr);
        return d;
    }

    // Lays a table with sfdisk and lets the library read it.
    void layTable(const std::string& script)
    {
        partitionWithSfdisk(1, "label: dos\\n" + script);
        ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);
    }

    std::vector<DumpEntry> dump()
    {
        std::string out;
        EXPECT_EQ(testing_support::runCommand("sfdisk --dump " + diskImage(1).string(), &out), 0) << out;
        std::vector<DumpEntry> entries;
        const std::string image = diskImage(1).string();
        for (const std::string& line : linesOf(out)) {
            if (line.rfind(image, 0) != 0)
                continue;
            DumpEntry e;
            e.number = std::stoi(line.substr(image.size()));
            std::sscanf(line.c_str() + line.find("start="), "start= %" SCNu64 ", size= %" SCNu64 ", type=%x",
                        &e.start, &e.size, &e.type);
            entries.push_back(e);
        }
        return entries;
    }

    std::vector<std::uint8_t> sectorZero() { return imageBytes(1, 0, 512); }
};

}  // namespace kx_test
