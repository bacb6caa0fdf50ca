#include "volumes/ntfs_records.h"

#include <algorithm>
#include <cstring>

#include "volumes/partition_reader.h"

namespace win::detail {

namespace {

constexpr std::size_t kFixupStride = 512;  // update sequences protect every 512 bytes
constexpr std::size_t kMaxRuns = 1 << 20;
constexpr std::uint64_t kMaxClusterSize = 2u << 20;
constexpr std::uint64_t kMaxVcn = 1ull << 40;  // keeps byte offsets of any run within 64 bits

bool powerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::uint64_t unsignedField(const std::uint8_t* p, unsigned size)
{
    std::uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i)
        v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

std::int64_t signedField(const std::uint8_t* p, unsigned size)
{
    std::uint64_t v = unsignedField(p, size);
    if (size < 8 && (p[size - 1] & 0x80))
        v |= ~std::uint64_t{0} << (8 * size);
    return static_cast<std::int64_t>(v);
}

std::optional<std::vector<DataRun>> decodeRuns(const std::uint8_t* p, std::size_t size, std::uint64_t vcn,
                                               std::uint64_t totalClusters)
{
    std::vector<DataRun> runs;
    std::int64_t lcn = 0;
    std::size_t at = 0;
    while (at < size && p[at] != 0) {
        const unsigned lengthBytes = p[at] & 0x0F;
        const unsigned offsetBytes = p[at] >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 || size - at - 1 < lengthBytes + offsetBytes ||
            runs.size() >= kMaxRuns)
            return std::nullopt;
        DataRun run;
        run.vcn = vcn;
        run.length = unsignedField(p + at + 1, lengthBytes);
        if (run.length == 0 || run.length > totalClusters || vcn >= kMaxVcn || run.length > kMaxVcn - vcn)
            return std::nullopt;
        if (offsetBytes > 0) {
            if (__builtin_add_overflow(lcn, signedField(p + at + 1 + lengthBytes, offsetBytes), &lcn) || lcn < 0 ||
                static_cast<std::uint64_t>(lcn) >= totalClusters ||
                run.length > totalClusters - static_cast<std::uint64_t>(lcn))
                return std::nullopt;
            run.lcn = static_cast<std::uint64_t>(lcn);
        }
        runs.push_back(run);
        vcn += run.length;
        at += 1 + lengthBytes + offsetBytes;
    }
    return runs;
}

bool applyFixups(std::vector<std::uint8_t>& r)
{
    const std::size_t usaOffset = le16(&r[4]);
    const std::size_t usaCount = le16(&r[6]);
    if (usaCount != r.size() / kFixupStride + 1 || usaOffset < 0x28 || usaOffset % 2 != 0 ||
        usaOffset + 2 * usaCount > r.size())
        return false;
    const std::uint8_t* usa = &r[usaOffset];
    for (std::size_t i = 1; i < usaCount; ++i) {
        std::uint8_t* tail = &r[i * kFixupStride - 2];
        if (std::memcmp(tail, usa, 2) != 0)
            return false;  // a torn write
        std::memcpy(tail, usa + 2 * i, 2);
    }
    return true;
}

}  // namespace

std::optional<NtfsGeometry> parseNtfsBoot(const std::uint8_t* b, std::uint64_t partitionLength)
{
    NtfsGeometry g;
    g.bytesPerSector = le16(b + 11);
    if (!powerOfTwo(g.bytesPerSector) || g.bytesPerSector < 512 || g.bytesPerSector > 4096)
        return std::nullopt;
    // Above 0x80 the byte is a negative power of two.
    const std::uint8_t rawPerCluster = b[13];
    const std::uint64_t perCluster =
        rawPerCluster <= 0x80 ? rawPerCluster : (256 - rawPerCluster <= 20 ? 1ull << (256 - rawPerCluster) : 0);
    g.clusterSize = perCluster * g.bytesPerSector;
    const std::uint64_t sectors = le64(b + 40);
    if (!powerOfTwo(perCluster) || g.clusterSize > kMaxClusterSize || sectors == 0 ||
        sectors > partitionLength / g.bytesPerSector)
        return std::nullopt;
    g.totalClusters = sectors / perCluster;
    g.mftLcn = le64(b + 48);
    const auto perRecord = static_cast<std::int8_t>(b[64]);
    if (perRecord > 0)
        g.recordSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(perRecord * g.clusterSize, 1u << 30));
    else if (perRecord <= -9 && perRecord >= -16)
        g.recordSize = 1u << -perRecord;
    if (g.totalClusters == 0 || g.mftLcn >= g.totalClusters || !powerOfTwo(g.recordSize) || g.recordSize < 512 ||
        g.recordSize > 65536)
        return std::nullopt;
    g.serial = le32(b + 72);
    return g;
}

std::optional<MftRecord> MftRecord::parse(std::vector<std::uint8_t> bytes)
{
    if (bytes.size() < kFixupStride || bytes.size() % kFixupStride != 0 || std::memcmp(bytes.data(), "FILE", 4) != 0 ||
        !applyFixups(bytes))
        return std::nullopt;
    const std::uint16_t flags = le16(&bytes[0x16]);
    const std::size_t first = le16(&bytes[0x14]);
    const std::size_t used = le32(&bytes[0x18]);
    if (!(flags & 1) || used > bytes.size() || first % 8 != 0 || first < 0x28 || first >= used)
        return std::nullopt;
    MftRecord record;
    for (std::size_t at = first;;) {
        if (used - at < 4)
            return std::nullopt;
        const std::uint32_t type = le32(&bytes[at]);
        if (type == 0xFFFFFFFF)
            break;
        if (used - at < 24)
            return std::nullopt;
        const std::uint32_t length = le32(&bytes[at + 4]);
        const bool nonResident = bytes[at + 8] != 0;
        const std::size_t nameEnd = le16(&bytes[at + 10]) + std::size_t{bytes[at + 9]} * 2;
        if (length < 24 || length % 8 != 0 || length > used - at || nameEnd > length || (nonResident && length < 64))
            return std::nullopt;
        const std::uint8_t* a = &bytes[at];
        if (!nonResident && std::size_t{le16(a + 0x14)} + le32(a + 0x10) > length)
            return std::nullopt;
        if (nonResident && le16(a + 0x20) >= length)
            return std::nullopt;
        record.attributes_.push_back({type, static_cast<std::uint32_t>(at), length, nonResident});
        if (record.attributes_.size() > 1024)
            return std::nullopt;
        at += length;
    }
    record.bytes_ = std::move(bytes);
    return record;
}

const MftRecord::Attribute* MftRecord::find(std::uint32_t type) const
{
    for (const auto& a : attributes_)
        if (a.type == type && bytes_[a.offset + 9] == 0)
            return &a;
    return nullptr;
}

std::optional<std::vector<std::uint8_t>> MftRecord::residentValue(std::uint32_t type) const
{
    const Attribute* a = find(type);
    if (!a || a->nonResident)
        return std::nullopt;
    const std::uint8_t* h = &bytes_[a->offset];
    const std::uint8_t* value = h + le16(h + 0x14);
    return std::vector<std::uint8_t>(value, value + le32(h + 0x10));
}

std::optional<NtfsStream> MftRecord::stream(std::uint32_t type, const NtfsGeometry& geometry) const
{
    const Attribute* a = find(type);
    if (!a || !a->nonResident)
        return std::nullopt;
    const std::uint8_t* h = &bytes_[a->offset];
    const std::size_t runsAt = le16(h + 0x20);
    auto runs = decodeRuns(h + runsAt, a->length - runsAt, le64(h + 0x10), geometry.totalClusters);
    if (!runs)
        return std::nullopt;
    NtfsStream s;
    s.runs = std::move(*runs);
    s.dataSize = le64(h + 0x30);
    s.initializedSize = std::min(le64(h + 0x38), s.dataSize);
    return s;
}

bool readStream(const PartitionReader& disk, const NtfsGeometry& g, const NtfsStream& stream, std::uint64_t at,
                std::uint8_t* out, std::size_t size)
{
    if (at > stream.dataSize || size > stream.dataSize - at)
        return false;
    while (size > 0) {
        const std::uint64_t vcn = at / g.clusterSize;
        auto run = std::find_if(stream.runs.begin(), stream.runs.end(),
                                [&](const DataRun& r) { return vcn >= r.vcn && vcn - r.vcn < r.length; });
        if (run == stream.runs.end())
            return false;
        const std::uint64_t runEnd = (run->vcn + run->length) * g.clusterSize;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, runEnd - at));
        // Past the initialized size and in sparse runs the data is zeros.
        const std::size_t stored = at >= stream.initializedSize
                                       ? 0
                                       : static_cast<std::size_t>(std::min<std::uint64_t>(piece, stream.initializedSize - at));
        if (stored > 0 && run->lcn) {
            const std::uint64_t from = *run->lcn * g.clusterSize + (at - run->vcn * g.clusterSize);
            if (!disk.read(from, out, stored))
                return false;
        } else {
            std::memset(out, 0, stored);
        }
        std::memset(out + stored, 0, piece - stored);
        out += piece;
        at += piece;
        size -= piece;
    }
    return true;
}

}  // namespace win::detail
