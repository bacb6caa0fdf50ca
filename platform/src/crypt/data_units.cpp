#include "crypt/data_units.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace win::detail {

std::vector<UnitRange> dataUnits(int fd, std::uint64_t from, std::uint64_t length)
{
    std::vector<UnitRange> out;
    off_t at = static_cast<off_t>(from);
    const off_t end = static_cast<off_t>(from + length);
    while (at < end) {
        off_t data = ::lseek(fd, at, SEEK_DATA);
        // ENXIO: no data from here on. Any other refusal says nothing about
        // holes, and a copy that left the rest out would read as zeros.
        if (data < 0 && errno == ENXIO)
            break;
        if (data >= end)
            break;
        off_t hole = data < 0 ? end : ::lseek(fd, data, SEEK_HOLE);
        if (data < 0)
            data = at;
        hole = hole < 0 ? end : std::min(hole, end);
        const std::uint64_t b = (static_cast<std::uint64_t>(data) - from) / kDataUnit * kDataUnit;
        const std::uint64_t e =
            std::min(length, (static_cast<std::uint64_t>(hole) - from + kDataUnit - 1) / kDataUnit * kDataUnit);
        out.push_back({b, e});
        at = hole;
    }
    return out;
}

bool wipeDataUnits(int fd, std::uint64_t length)
{
    static const std::vector<char> zeros(1 << 20, 0);
    bool ok = true;
    for (const UnitRange& r : dataUnits(fd, 0, length))
        for (std::uint64_t at = r.begin; at < r.end;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), r.end - at));
            const ssize_t written = ::pwrite(fd, zeros.data(), n, static_cast<off_t>(at));
            if (written <= 0) {
                if (written < 0 && errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            at += static_cast<std::uint64_t>(written);
        }
    return ::fdatasync(fd) == 0 && ok;
}

}  // namespace win::detail
