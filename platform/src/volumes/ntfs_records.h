// NTFS structures: the boot sector's geometry, MFT records with their
// update-sequence fixups, attributes and data runs. Every field is checked
// against the record and the volume before use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win::detail {

class PartitionReader;

struct NtfsGeometry {
    std::uint32_t bytesPerSector = 0;
    std::uint64_t clusterSize = 0;
    std::uint64_t totalClusters = 0;
    std::uint64_t mftLcn = 0;
    std::uint32_t recordSize = 0;
    std::uint32_t serial = 0;
};

std::optional<NtfsGeometry> parseNtfsBoot(const std::uint8_t* boot, std::uint64_t partitionLength);

struct DataRun {
    std::uint64_t vcn = 0;
    std::uint64_t length = 0;          // clusters
    std::optional<std::uint64_t> lcn;  // none: a sparse run, reads as zeros
};

// Non-resident data: its runs and sizes.
struct NtfsStream {
    std::vector<DataRun> runs;
    std::uint64_t dataSize = 0;
    std::uint64_t initializedSize = 0;  // bytes past it read as zeros
};

class MftRecord {
public:
    // bytes: one record as read; its fixups are applied and its attribute
    // headers checked. No answer for a record that is damaged or not in use.
    static std::optional<MftRecord> parse(std::vector<std::uint8_t> bytes);

    bool has(std::uint32_t type) const { return find(type) != nullptr; }
    // The resident value of the unnamed attribute of this type.
    std::optional<std::vector<std::uint8_t>> residentValue(std::uint32_t type) const;
    // The runs of the unnamed non-resident attribute of this type.
    std::optional<NtfsStream> stream(std::uint32_t type, const NtfsGeometry& geometry) const;

private:
    struct Attribute {
        std::uint32_t type;
        std::uint32_t offset, length;
        bool nonResident;
    };
    const Attribute* find(std::uint32_t type) const;

    std::vector<std::uint8_t> bytes_;
    std::vector<Attribute> attributes_;
};

// Reads bytes [at, at + size) of non-resident data through its runs.
bool readStream(const PartitionReader& disk, const NtfsGeometry& geometry, const NtfsStream& stream, std::uint64_t at,
                std::uint8_t* out, std::size_t size);

}  // namespace win::detail
