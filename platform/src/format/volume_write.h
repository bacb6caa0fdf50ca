// Puts a volume made in a sparse file into a partition's byte range of the
// disk, extent by extent, so that a sparse disk image stays sparse.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace win::detail {

struct VolumeWrite {
    int source = -1;  // the made volume, from its first byte
    int disk = -1;
    std::uint64_t offset = 0;  // the partition on the disk
    std::uint64_t length = 0;
    // Full: every byte of the partition becomes the made volume's. Quick:
    // only what the formatter wrote, and the first and last MiB, where
    // other file systems keep the signatures that would still be found.
    bool full = false;
    // Asked before every write into the disk with its byte offset on the
    // disk and its length: how many of those bytes the disk takes. Fewer end
    // the copy as failed once they are written. Empty: the disk takes all.
    std::function<std::uint64_t(std::uint64_t at, std::uint64_t size)> admit;
    // Set for an encrypted volume: encrypts whole 512-byte units in place,
    // given their byte offset on the disk. Holes then go in as encrypted
    // zeros, never as holes.
    std::function<bool(std::uint64_t at, std::span<std::uint8_t> units)> encrypt;
};

// progress(done, total) may stop the copy by returning false.
[[nodiscard]] bool writeVolume(const VolumeWrite& w,
                               const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress,
                               std::string* why);

}  // namespace win::detail
