// An emulated machine of its own for a benchmark: made in a temporary
// folder, selected for the library and its child processes, removed after.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/machine.h"

namespace bench {

class BenchMachine {
public:
    // Its appliance disk is the only USB disk: a sparse image of diskBytes.
    // The library's waits for Windows last timeScale times their length.
    explicit BenchMachine(std::uint64_t diskBytes, double timeScale = 0.001);
    ~BenchMachine();
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    // Bytes the appliance disk's image takes on the host's disk.
    std::uint64_t allocatedBytes() const;
    // The appliance disk's image file, and a scratch folder beside the machine.
    std::filesystem::path diskPath() const;
    // The library's name of the appliance disk: \Device\HarddiskN\Partition0.
    std::string devicePath() const;
    const std::filesystem::path& workDir() const { return root_; }
    // Another appliance disk of the same size and hardware id; its image.
    std::filesystem::path addDisk();
    // The appliance disk leaves the machine, or comes back in its slot.
    void unplugDisk();
    void plugDisk();

private:
    std::filesystem::path root_;
    std::shared_ptr<machine::Machine> machine_;
    int slot_ = -1;
    std::uint64_t diskBytes_ = 0;
};

}  // namespace bench
