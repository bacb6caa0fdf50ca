// Writes a label into a freshly made FAT volume, as Windows keeps it: in the
// boot sector (and its FAT32 backup) and as the root directory's label entry.
#pragma once

#include <cstdint>
#include <string>

namespace win::detail {

// fd holds the volume from its first byte; field is the 11-byte label.
bool writeFatLabel(int fd, std::uint64_t volumeBytes, const std::string& field);

}  // namespace win::detail
