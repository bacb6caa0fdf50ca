// What the targets share: a scratch emulated machine selected for the win::
// functions (made once per process, removed at exit), and a scratch file
// that holds the current input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace fuzzing {

// The machine's folder; the first call creates and selects it.
const std::filesystem::path& scratchMachine();
// Replaces the scratch file (beside the machine) with the bytes; its path.
const std::filesystem::path& writeScratchFile(const std::uint8_t* data, std::size_t size);

}  // namespace fuzzing
