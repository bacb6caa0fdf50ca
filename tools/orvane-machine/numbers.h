// Numbers as the command line writes them; a bad one is a UsageError.
#pragma once

#include <cstdint>
#include <string>

namespace machine_tool {

// Bytes, or a count of K, M, G or T (binary units, "KiB" also read);
// a disk size must be a non-zero multiple of 512.
std::uint64_t parseDiskSize(const std::string& text);
// A USB vendor or product id: up to four hex digits, "0x" optional.
std::uint16_t parseUsbId(const std::string& option, const std::string& text);
// A disk slot as list shows it.
int parseSlot(const std::string& text);

}  // namespace machine_tool
