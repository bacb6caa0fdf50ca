// The label's reading of the extended boot record chain from untrusted bytes,
// from the first extended entry of sector 0 as the label finds it, over a
// disk described by the input (sparse_disk.h).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "labels/pedmsdos_chain.h"
#include "labels/pedmsdos_sector.h"
#include "sparse_disk.h"

namespace {

using namespace kx::mbr;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzzing::SparseDisk disk(data, size);
    Sector mbr{};
    if (!disk.read(0, mbr.data()) || magicOf(mbr.data()) != kMagic)
        return 0;
    for (int slot = 0; slot < 4; ++slot) {
        const Entry e = getEntry(mbr.data(), slot);
        if (e.empty() || e.start == 0 || !isExtendedId(e.system))
            continue;
        const std::uint64_t extStart = e.start;
        const std::uint64_t extEnd = extStart + e.count - 1;
        std::size_t reads = 0;
        std::vector<Logical> logicals;
        readChain(
            extStart, extEnd, "\\Device\\Harddisk1\\Partition0",
            [&](std::uint64_t lba, std::uint8_t* out) {
                ++reads;
                return disk.read(lba, out);
            },
            [](const std::string&) {}, logicals);
        check(logicals.size() <= static_cast<std::size_t>(kMaxLogical));
        for (const Logical& l : logicals)
            check(l.start > extStart);
        // Only records the input holds carry the signature that leads on:
        // a reader that never walks in circles stops soon after them.
        check(reads <= disk.held() + 1);
        break;
    }
    return 0;
}
