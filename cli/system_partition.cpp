#include "cli/system_partition.h"

#include "app/core/disksetup/FormatDevice.h"

namespace cli {

// The worker's size is where the partition ends, counted from the disk's start.
static_assert(kSystemPartitionEnd == std::uint64_t{kFormatSystemSizeMiB} * 2048);

std::string systemPartitionText()
{
    return std::to_string(systemPartitionMiB()) + " MiB, sectors " + std::to_string(kSystemPartitionStart) + " to " +
           std::to_string(kSystemPartitionEnd - 1) + " (ending at 1 GiB)";
}

}  // namespace cli
