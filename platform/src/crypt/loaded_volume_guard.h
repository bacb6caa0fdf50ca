// A disk under a loaded private volume is written only through that volume:
// a new table, a format or any other write through the disk's handles would
// leave the volume mounted over a partition that is no more, its key file
// and its letter kept for good.
#pragma once

#include <cstdint>
#include <string>

#include "platform/machine.h"

namespace win::detail {

// Why a write through a handle on partition `partition` (0: the whole disk)
// of the disk in `slot`, arrived as `arrival`, must not be made ("disk 1
// holds the loaded private volume P: (partition 3): unload P: first"), or
// empty. The loaded volume's own partition may be written (its header).
std::string loadedVolumeRefusal(const machine::State& state, int slot, std::uint64_t arrival, int partition);

// The same, said on standard error as the machine's other refusals are;
// true when refused.
bool refusedBesideLoadedVolume(const machine::State& state, int slot, std::uint64_t arrival, int partition);

}  // namespace win::detail
