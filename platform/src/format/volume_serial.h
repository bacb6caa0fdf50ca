// A fresh serial number for a volume just made: mkntfs and mkfs.fat draw
// theirs from the clock's second, so volumes made together would share one,
// and Windows keys volumes by it.
#pragma once

#include <cstdint>

#include "platform/volume_format.h"

namespace win::detail {

// Rewrites the serial in the boot sector (and the backup boot sector) of
// the volume of kind in the file fd of bytes bytes. False when the file
// could not be read or written.
[[nodiscard]] bool giveFreshSerial(int fd, machine::FileSystemKind kind, std::uint64_t bytes);

}  // namespace win::detail
