// Set-up of the format tests: the appliance's standard table on the blank
// disk, its public partitions as the API walks them, and the host's own
// file-system tools to judge what a format left on the image.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "disk_api_fixture.h"

namespace kx_test {

class FormatTest : public DiskApiTest {
protected:
    // The system partition of 1 GiB and public partitions of the sizes given.
    void standardTable(std::vector<std::uint64_t> sizes)
    {
        sizes.resize(3, 0);
        const int count = static_cast<int>(std::count_if(sizes.begin(), sizes.end(), [](auto s) { return s > 0; }));
        ASSERT_EQ(kx_part_create_pnum(disk(), count, sizes[0], sizes[1], sizes[2], kGiB), 1);
    }

    // A FAT32 partition (kind 2) beside the system partition, as number 2.
    PedWinPart* fat32Partition()
    {
        EXPECT_EQ(kx_part_create_pnum(disk(), 0, 0, 0, 0, kGiB), 1);
        EXPECT_EQ(kx_part_create(disk(), KX_PART_PRIMARY, KX_FS_FAT32, (512ull << 20)), 1);
        PedWinPart* part = partition(1);
        EXPECT_TRUE(part && part->kind == KX_FS_FAT32 && part->mountpoint);
        return part;
    }

    // In walk order from 0, the system partition; fetched afresh each time.
    PedWinPart* partition(int index)
    {
        kx_disk* d = disk();
        PedWinPart* p = kx_part_getinfo(d, nullptr, KX_PART_ALL);
        for (int i = 0; i < index && p; ++i)
            p = kx_part_getinfo(d, p, KX_PART_ALL);
        EXPECT_NE(p, nullptr) << "no partition " << index;
        return p;
    }

    // Where the table put partition `number` (as sfdisk numbers them).
    DumpEntry placed(int number)
    {
        for (const DumpEntry& e : dump())
            if (e.number == number)
                return e;
        ADD_FAILURE() << "no partition " << number;
        return {};
    }

    // One field of blkid's low-level probe of partition `number`.
    std::string blkid(int number, const std::string& field)
    {
        std::string out;
        testing_support::runCommand("blkid -p -O " + std::to_string(placed(number).start * 512) + " -o value -s " +
                                        field + " " + diskImage(1).string(),
                                    &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    // Partition `number`'s bytes in a file of their own, for tools that
    // take no offset.
    std::string extract(int number)
    {
        const DumpEntry e = placed(number);
        const std::string out = (dir_.parent_path() / ("part" + std::to_string(number) + ".img")).string();
        std::string text;
        EXPECT_EQ(testing_support::runCommand("dd if=" + diskImage(1).string() + " of=" + out +
                                                  " bs=1M conv=sparse iflag=skip_bytes,count_bytes skip=" +
                                                  std::to_string(e.start * 512) +
                                                  " count=" + std::to_string(e.size * 512),
                                              &text),
                  0)
            << text;
        return out;
    }

    std::string imagePrint() { return testing_support::fingerprintFile(diskImage(1)); }
};

}  // namespace kx_test
