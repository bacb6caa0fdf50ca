// An NTFS volume's label and sizes, read through its MFT.
#include <vector>

#include "text/codepage.h"
#include "volumes/bitmap_count.h"
#include "volumes/ntfs_records.h"
#include "volumes/partition_reader.h"
#include "volumes/volume_probe.h"

namespace win::detail {

namespace {

constexpr std::uint32_t kAttrVolumeName = 0x60;
constexpr std::uint32_t kAttrData = 0x80;
constexpr std::uint64_t kVolumeRecord = 3;
constexpr std::uint64_t kBitmapRecord = 6;

class Mft {
public:
    static std::optional<Mft> open(const PartitionReader& disk, const NtfsGeometry& g)
    {
        std::vector<std::uint8_t> bytes(g.recordSize);
        if (!disk.read(g.mftLcn * g.clusterSize, bytes.data(), bytes.size()))
            return std::nullopt;
        auto self = MftRecord::parse(std::move(bytes));
        auto data = self ? self->stream(kAttrData, g) : std::nullopt;
        if (!data || data->runs.empty() || data->runs.front().vcn != 0 || data->runs.front().lcn != g.mftLcn)
            return std::nullopt;
        return Mft(disk, g, std::move(*data));
    }

    std::optional<MftRecord> record(std::uint64_t index) const
    {
        std::vector<std::uint8_t> bytes(geometry_.recordSize);
        if (!readStream(disk_, geometry_, data_, index * geometry_.recordSize, bytes.data(), bytes.size()))
            return std::nullopt;
        return MftRecord::parse(std::move(bytes));
    }

private:
    Mft(const PartitionReader& disk, const NtfsGeometry& g, NtfsStream data) : disk_(disk), geometry_(g), data_(std::move(data)) {}
    const PartitionReader& disk_;
    NtfsGeometry geometry_;
    NtfsStream data_;
};

std::optional<std::string> volumeName(const MftRecord& volume)
{
    if (!volume.has(kAttrVolumeName))
        return std::string();
    auto value = volume.residentValue(kAttrVolumeName);
    if (!value || value->size() % 2 != 0 || value->size() > 256)
        return std::nullopt;
    std::u16string name(value->size() / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char16_t>(le16(&(*value)[i * 2]));
    return wideToUtf8(name);
}

// Free clusters: the clear bits of $Bitmap for the clusters the volume has.
std::optional<std::uint64_t> freeClusters(const PartitionReader& disk, const NtfsGeometry& g, const MftRecord& bitmap)
{
    const std::uint64_t wholeBytes = g.totalClusters / 8;
    const unsigned tailBits = g.totalClusters % 8;
    std::uint64_t free = 0;
    if (auto resident = bitmap.residentValue(kAttrData)) {
        if (resident->size() < wholeBytes + (tailBits ? 1 : 0))
            return std::nullopt;
        free = countClearBits(resident->data(), wholeBytes);
        for (unsigned bit = 0; bit < tailBits; ++bit)
            free += !((*resident)[wholeBytes] >> bit & 1);
        return free;
    }
    auto stream = bitmap.stream(kAttrData, g);
    if (!stream || stream->dataSize < wholeBytes + (tailBits ? 1 : 0))
        return std::nullopt;
    std::vector<std::uint8_t> chunk(1 << 20);
    for (std::uint64_t at = 0; at < wholeBytes; at += chunk.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), wholeBytes - at));
        if (!readStream(disk, g, *stream, at, chunk.data(), n))
            return std::nullopt;
        free += countClearBits(chunk.data(), n);
    }
    if (tailBits) {
        std::uint8_t last = 0;
        if (!readStream(disk, g, *stream, wholeBytes, &last, 1))
            return std::nullopt;
        for (unsigned bit = 0; bit < tailBits; ++bit)
            free += !(last >> bit & 1);
    }
    return free;
}

}  // namespace

std::optional<VolumeFacts> probeNtfs(const PartitionReader& disk, const std::uint8_t* boot, bool countFree)
{
    auto geometry = parseNtfsBoot(boot, disk.length());
    if (!geometry)
        return std::nullopt;
    auto mft = Mft::open(disk, *geometry);
    auto volume = mft ? mft->record(kVolumeRecord) : std::nullopt;
    auto bitmap = mft ? mft->record(kBitmapRecord) : std::nullopt;
    auto label = volume ? volumeName(*volume) : std::nullopt;
    // Without counting, the map must still be there with sound runs.
    const bool mapped = bitmap && (bitmap->residentValue(kAttrData) || bitmap->stream(kAttrData, *geometry));
    auto free = bitmap && countFree ? freeClusters(disk, *geometry, *bitmap) : std::nullopt;
    if (!label || !mapped || (countFree && !free))
        return std::nullopt;
    VolumeFacts facts;
    facts.fileSystem = "NTFS";
    facts.label = *label;
    facts.serial = geometry->serial;
    facts.totalBytes = geometry->totalClusters * geometry->clusterSize;
    if (free)
        facts.freeBytes = *free * geometry->clusterSize;
    return facts;
}

}  // namespace win::detail
