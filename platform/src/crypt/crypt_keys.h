// The key areas of mounted private volumes, which open the volume whatever
// its password becomes. Each lives in a file of its own, keys/<mount
// stamp>.key: 0600 in the 0700 keys folder, written once when the volume is
// mounted, wiped and removed when it is dismounted, never part of a file
// that is copied or renamed over another.
#pragma once

#include <cstdint>
#include <span>

#include "platform/machine.h"

namespace win::detail {

// Throws machine::MachineError when the file cannot be written whole.
void storeVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp, std::span<const std::uint8_t> keyArea);
// False when the file is missing, not the machine's own, or of another size.
bool loadVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp, std::span<std::uint8_t> out);
void removeVolumeKeys(const machine::Machine& m, std::uint64_t mountStamp);
// Wipes and removes every key file no volume of the state owns: keys left by
// a process that died between a dismount's steps, or by an older version
// that forgot the mount first. Called with the machine locked (inside an
// update), so no mount is half made meanwhile.
void removeStrayVolumeKeys(const machine::Machine& m, const machine::State& state);
// The same under the machine's lock, once per process and machine: every
// start of the library acquires a CryptoAPI context for its random pool.
void removeStrayVolumeKeysOnce(machine::Machine& m);

}  // namespace win::detail
