#include "labels/pedmsdos_chain.h"

#include <cinttypes>
#include <cstdio>
#include <set>

namespace kx::mbr {

namespace {

std::string format(const char* pattern, const char* path)
{
    char line[512];
    std::snprintf(line, sizeof line, pattern, path ? path : "");
    return line;
}

constexpr std::uint64_t kMax32 = 0xFFFFFFFFull;
// Records without a logical partition still lead on; without a bound a
// crafted chain of them walks up to 2^32 sectors.
constexpr std::size_t kMaxRecords = 2 * kMaxPartitions;

}  // namespace

ChainStatus readChain(std::uint64_t extStart, std::uint64_t extEnd, const char* path, const SectorReader& read,
                      const Reporter& report, std::vector<Logical>& out)
{
    std::set<std::uint64_t> visited;
    Sector sector{};
    for (std::uint64_t ebr = extStart;;) {
        if (visited.size() >= kMaxRecords) {
            report(format("Too many logical partitions on %s.", path));
            return ChainStatus::Invalid;
        }
        visited.insert(ebr);
        if (!read(ebr, sector.data()))
            return ChainStatus::ReadFailed;
        const std::uint16_t magic = magicOf(sector.data());
        if (magic != kMagic) {
            if (magic != kEmptyEbrMagic) {
                char line[512];
                std::snprintf(line, sizeof line, "Invalid partition table on %s -- wrong signature %x.",
                              path ? path : "", magic);
                report(line);
            }
            return ChainStatus::Ok;
        }

        Entry logical, link;
        for (int slot = 0; slot < 4; ++slot) {
            const Entry e = getEntry(sector.data(), slot);
            if (e.empty())
                continue;
            if (isExtendedId(e.system)) {
                if (link.empty())
                    link = e;
            } else if (logical.empty()) {
                logical = e;
            }
        }

        if (!logical.empty()) {
            if (logical.start == 0) {
                report(format("Invalid partition table - recursive partition on %s.", path));
            } else {
                if (out.size() >= static_cast<std::size_t>(kMaxLogical)) {
                    report(format("Too many logical partitions on %s.", path));
                    return ChainStatus::Invalid;
                }
                const std::uint64_t start = ebr + logical.start;
                out.push_back({start, start + logical.count - 1, logical.system, logical.status == 0x80});
            }
        }

        if (link.empty())
            return ChainStatus::Ok;
        const std::uint64_t next = extStart + link.start;
        if (visited.count(next)) {
            report(format("Invalid partition table - recursive partition on %s.", path));
            return ChainStatus::Ok;
        }
        if (next > extEnd) {
            char line[512];
            std::snprintf(line, sizeof line,
                          "Invalid partition table on %s -- extended boot record at %" PRIu64
                          " outside the extended partition.",
                          path ? path : "", next);
            report(line);
            return ChainStatus::Invalid;
        }
        ebr = next;
    }
}

bool planChain(std::uint64_t extStart, std::uint64_t extEnd, const std::vector<Logical>& logicals,
               ChsGeometry geometry, std::vector<EbrWrite>& out, std::string* why)
{
    auto fail = [&](const char* text) {
        if (why)
            *why = text;
        out.clear();
        return false;
    };
    out.clear();
    if (logicals.empty()) {
        EbrWrite empty;
        empty.sector = extStart;
        put16(empty.bytes.data() + kMagicOffset, kMagic);
        out.push_back(empty);
        return true;
    }

    std::vector<std::uint64_t> at(logicals.size());
    for (std::size_t i = 0; i < logicals.size(); ++i) {
        const Logical& l = logicals[i];
        if (l.start > l.end || l.end > extEnd || l.start <= extStart)
            return fail("logical partition not inside the extended partition");
        at[i] = i == 0 ? extStart : l.start - 1;
        if (i > 0 && at[i] <= logicals[i - 1].end)
            return fail("no room for an extended boot record between logical partitions");
        if (l.end - at[i] + 1 > kMax32 || at[i] - extStart > kMax32)
            return fail("logical partition beyond what the table can address");
    }

    for (std::size_t i = 0; i < logicals.size(); ++i) {
        const Logical& l = logicals[i];
        EbrWrite w;
        w.sector = at[i];
        Entry self;
        self.status = l.boot ? 0x80 : 0;
        self.system = l.system;
        self.start = static_cast<std::uint32_t>(l.start - at[i]);
        self.count = static_cast<std::uint32_t>(l.end - l.start + 1);
        putEntry(w.bytes.data(), 0, self, l.start, l.end, geometry);
        if (i + 1 < logicals.size()) {
            const Logical& n = logicals[i + 1];
            Entry link;
            link.system = 0x05;
            link.start = static_cast<std::uint32_t>(at[i + 1] - extStart);
            link.count = static_cast<std::uint32_t>(n.end - at[i + 1] + 1);
            putEntry(w.bytes.data(), 1, link, at[i + 1], n.end, geometry);
        }
        put16(w.bytes.data() + kMagicOffset, kMagic);
        out.push_back(w);
    }
    return true;
}

}  // namespace kx::mbr
