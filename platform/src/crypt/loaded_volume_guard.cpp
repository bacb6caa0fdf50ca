#include "crypt/loaded_volume_guard.h"

#include <cstdio>

namespace win::detail {

std::string loadedVolumeRefusal(const machine::State& state, int slot, std::uint64_t arrival, int partition)
{
    for (const machine::CryptVolume& v : state.cryptVolumes) {
        if (v.slot != slot || v.diskArrival != arrival || (partition != 0 && partition == v.partition))
            continue;
        const machine::Disk* disk =
            slot >= 0 && slot < static_cast<int>(state.disks.size()) ? &state.disks[static_cast<std::size_t>(slot)] : nullptr;
        const std::string letter = std::string(1, v.letter) + ":";
        return "disk " + std::to_string(disk && disk->number >= 0 ? disk->number : slot) +
               " holds the loaded private volume " + letter + " (partition " + std::to_string(v.partition) +
               "): unload " + letter + " first";
    }
    return {};
}

bool refusedBesideLoadedVolume(const machine::State& state, int slot, std::uint64_t arrival, int partition)
{
    const std::string why = loadedVolumeRefusal(state, slot, arrival, partition);
    if (why.empty())
        return false;
    std::fprintf(stderr, "machine: %s; nothing is written\n", why.c_str());
    return true;
}

}  // namespace win::detail
