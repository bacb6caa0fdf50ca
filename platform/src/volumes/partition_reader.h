// Reads of one partition's bytes, refused outside the partition, and the
// little-endian field accessors of on-disk structures.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>

namespace win::detail {

inline std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }
inline std::uint64_t le64(const std::uint8_t* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }

class PartitionReader {
public:
    // Reads a range already checked to lie inside the partition.
    using Source = std::function<bool(std::uint64_t at, void* out, std::size_t size)>;

    PartitionReader(int fd, std::uint64_t offset, std::uint64_t length) : fd_(fd), offset_(offset), length_(length) {}
    // A view that is not the disk's bytes as they lie (an encrypted volume).
    PartitionReader(Source source, std::uint64_t length) : length_(length), source_(std::move(source)) {}

    std::uint64_t length() const { return length_; }

    // at is relative to the partition's start.
    [[nodiscard]] bool read(std::uint64_t at, void* out, std::size_t size) const
    {
        if (at > length_ || size > length_ - at)
            return false;
        if (source_)
            return source_(at, out, size);
        auto* bytes = static_cast<std::uint8_t*>(out);
        while (size > 0) {
            const ssize_t n = ::pread(fd_, bytes, size, static_cast<off_t>(offset_ + at));
            if (n <= 0)
                return false;
            bytes += n;
            at += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint64_t offset_ = 0, length_ = 0;
    Source source_;
};

}  // namespace win::detail
