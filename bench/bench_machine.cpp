#include "bench/bench_machine.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

namespace bench {

BenchMachine::BenchMachine(std::uint64_t diskBytes, double timeScale)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvane-bench-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("no temporary folder for the machine");
    root_ = pattern;
    machine_ = machine::Machine::create(root_ / "machine");
    // The library's waits for Windows are not what is measured.
    machine::setSetting(*machine_, "time_scale", std::to_string(timeScale));
    machine::unplug(*machine_, 1);
    machine::DiskOptions disk;
    disk.size = diskBytes_ = diskBytes;
    slot_ = machine::addDisk(*machine_, disk);
    machine::select(machine_->dir());
    ::setenv("KX_MACHINE", machine_->dir().c_str(), 1);  // for the command-line fallback
}

BenchMachine::~BenchMachine()
{
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path BenchMachine::addDisk()
{
    machine::DiskOptions disk;
    disk.size = diskBytes_;
    const int slot = machine::addDisk(*machine_, disk);
    const auto state = machine_->read();
    return machine_->backingPath(state->disks.at(static_cast<std::size_t>(slot)));
}

void BenchMachine::unplugDisk()
{
    machine::unplug(*machine_, slot_);
}

void BenchMachine::plugDisk()
{
    machine::plug(*machine_, slot_);
}

std::uint64_t BenchMachine::allocatedBytes() const
{
    struct stat st {};
    if (::stat(diskPath().c_str(), &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

std::filesystem::path BenchMachine::diskPath() const
{
    const auto state = machine_->read();
    return machine_->backingPath(state->disks.at(static_cast<std::size_t>(slot_)));
}

std::string BenchMachine::devicePath() const
{
    const auto state = machine_->read();
    return "\\Device\\Harddisk" + std::to_string(state->disks.at(static_cast<std::size_t>(slot_)).number) +
           "\\Partition0";
}

}  // namespace bench
