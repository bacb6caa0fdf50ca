#include "format/volume_write.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace win::detail {

namespace {

constexpr std::uint64_t kChunk = 1 << 20;
constexpr std::uint64_t kZeroChunk = 1ull << 30;  // zeroing is cheap where holes can be punched
constexpr std::size_t kBlock = 4096;
constexpr std::uint64_t kSignatureArea = 1 << 20;

struct Range {
    std::uint64_t begin, end;
};

// The data extents of the source within [0, length).
std::vector<Range> dataExtents(int fd, std::uint64_t length)
{
    std::vector<Range> out;
    off_t at = 0;
    while (static_cast<std::uint64_t>(at) < length) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0 || static_cast<std::uint64_t>(data) >= length)
            break;
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0 || static_cast<std::uint64_t>(hole) > length)
            hole = static_cast<off_t>(length);
        out.push_back({static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole)});
        at = hole;
    }
    return out;
}

std::vector<Range> merged(std::vector<Range> ranges)
{
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
    std::vector<Range> out;
    for (const auto& r : ranges) {
        if (r.begin >= r.end)
            continue;
        if (!out.empty() && r.begin <= out.back().end)
            out.back().end = std::max(out.back().end, r.end);
        else
            out.push_back(r);
    }
    return out;
}

bool zeroDisk(int disk, std::uint64_t at, std::uint64_t size)
{
    if (size == 0)
        return true;
    if (::fallocate(disk, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(at),
                    static_cast<off_t>(size)) == 0)
        return true;
    static const std::vector<char> zeros(kChunk, 0);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
        const ssize_t put = ::pwrite(disk, zeros.data(), n, static_cast<off_t>(at + done));
        if (put <= 0)
            return false;
        done += static_cast<std::uint64_t>(put);
    }
    return true;
}

bool writeDisk(int disk, std::uint64_t at, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::pwrite(disk, data, size, static_cast<off_t>(at));
        if (put <= 0)
            return false;
        data += put;
        at += static_cast<std::uint64_t>(put);
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Encrypted in chunks of whole units; a cut write keeps its own length.
bool writeEncrypted(const VolumeWrite& w, std::uint64_t at, const char* data, std::uint64_t size)
{
    constexpr std::uint64_t kUnit = 512;
    std::vector<std::uint8_t> sealed(static_cast<std::size_t>(std::min(kChunk, (size + kUnit - 1) / kUnit * kUnit)));
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
        const std::size_t units = (n + kUnit - 1) / kUnit * kUnit;
        std::fill(sealed.begin(), sealed.begin() + static_cast<std::ptrdiff_t>(units), 0);
        if (data)
            std::memcpy(sealed.data(), data + done, n);
        if (!w.encrypt(at + done, {sealed.data(), units})) {
            errno = EIO;
            return false;
        }
        if (!writeDisk(w.disk, at + done, reinterpret_cast<const char*>(sealed.data()), n))
            return false;
        done += n;
    }
    return true;
}

// A write into the disk (zeros when data is null), as far as the disk takes it.
bool putDisk(const VolumeWrite& w, std::uint64_t at, const char* data, std::uint64_t size)
{
    const std::uint64_t taken = w.admit ? std::min(size, w.admit(at, size)) : size;
    const bool ok = w.encrypt ? writeEncrypted(w, at, data, taken)
                    : data    ? writeDisk(w.disk, at, data, static_cast<std::size_t>(taken))
                              : zeroDisk(w.disk, at, taken);
    if (ok && taken < size)
        errno = EIO;
    return ok && taken == size;
}

bool allZero(const char* p, std::size_t n)
{
    return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

// One chunk of source data: zero blocks become holes, the rest is written.
bool copyChunk(const VolumeWrite& w, std::uint64_t at, std::vector<char>& buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(w.source, buffer.data() + done, size - done, static_cast<off_t>(at + done));
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    std::size_t runStart = 0;
    bool runZero = allZero(buffer.data(), std::min(kBlock, size));
    for (std::size_t block = kBlock;; block += kBlock) {
        const bool end = block >= size;
        const bool zero = end ? !runZero : allZero(buffer.data() + block, std::min(kBlock, size - block));
        if (zero == runZero)
            continue;
        const std::size_t runEnd = std::min(block, size);
        const bool ok = putDisk(w, w.offset + at + runStart, runZero ? nullptr : buffer.data() + runStart,
                                runEnd - runStart);
        if (!ok)
            return false;
        if (end)
            break;
        runStart = block;
        runZero = zero;
    }
    return true;
}

}  // namespace

bool writeVolume(const VolumeWrite& w, const std::function<bool(std::uint64_t, std::uint64_t)>& progress,
                 std::string* why)
{
    const std::vector<Range> data = dataExtents(w.source, w.length);
    std::vector<Range> exact = data;
    if (w.full) {
        exact.push_back({0, w.length});
    } else {
        exact.push_back({0, std::min(kSignatureArea, w.length)});
        exact.push_back({w.length - std::min(kSignatureArea, w.length), w.length});
    }
    exact = merged(std::move(exact));
    std::uint64_t total = 0;
    for (const auto& r : exact)
        total += r.end - r.begin;

    std::vector<char> buffer(kChunk);
    std::uint64_t done = 0;
    auto step = [&](std::uint64_t n) { return progress(done += n, total); };
    auto dataIt = data.begin();
    for (const auto& r : exact) {
        for (std::uint64_t at = r.begin; at < r.end;) {
            while (dataIt != data.end() && dataIt->end <= at)
                ++dataIt;
            const bool inData = dataIt != data.end() && dataIt->begin <= at;
            // Up to the next change between data and hole, in chunks.
            const std::uint64_t limit = inData ? std::min(r.end, dataIt->end)
                                               : std::min(r.end, dataIt != data.end() ? dataIt->begin : r.end);
            const std::uint64_t n = std::min(limit - at, inData ? kChunk : kZeroChunk);
            const bool ok = inData ? copyChunk(w, at, buffer, static_cast<std::size_t>(n))
                                   : putDisk(w, w.offset + at, nullptr, n);
            if (!ok) {
                *why = std::string("writing the disk failed: ") + std::strerror(errno);
                return false;
            }
            at += n;
            if (!step(n)) {
                *why = "stopped";
                return false;
            }
        }
    }
    if (::fdatasync(w.disk) != 0 && errno != EINVAL) {
        *why = std::string("flushing the disk failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace win::detail
