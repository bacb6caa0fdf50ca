// An emulated machine of its own for a benchmark: made in a temporary
// folder, selected for the library and its child processes, removed after.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/machine.h"

namespace bench {

class BenchMachine {
public:
    // Its appliance disk is the only USB disk: a sparse image of diskBytes.
    explicit BenchMachine(std::uint64_t diskBytes);
    ~BenchMachine();
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    // Bytes the appliance disk's image takes on the host's disk.
    std::uint64_t allocatedBytes() const;

private:
    std::filesystem::path root_;
    std::shared_ptr<machine::Machine> machine_;
    int slot_ = -1;
};

}  // namespace bench
