// A long-running caller's view of the library: the application re-probes
// at every device change for hours. This runs 1,000 table re-reads, with an
// unplug and replug every tenth, in one process, and prints the resident
// memory as it goes. Exit 1 when it grows by more than the allowance after
// the warm-up rounds.
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/bench_machine.h"
#include "kx/kx.h"

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;
constexpr int kRounds = 1000;
constexpr int kWarmUpRounds = 100;
constexpr long kAllowanceKiB = 256;

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

bool layTwoPartitions(const std::string& devpath)
{
    kx_disk* disk = kx_disk_get(devpath.c_str());
    return disk && kx_part_delete_all(disk) == 1 && kx_part_create_pnum(disk, 1, 2 * kGiB, 0, 0, kGiB) == 1;
}

}  // namespace

int main()
{
    bench::BenchMachine machine(8 * kGiB);
    if (kx_soft_init() != 1 || kx_dev_probe() != 1 || !layTwoPartitions(machine.devicePath())) {
        std::fprintf(stderr, "the library could not lay out the soak disk\n");
        return 2;
    }
    long afterWarmUp = 0;
    int added = 0, removed = 0;
    for (int round = 1; round <= kRounds; ++round) {
        if (round % 10 == 0) {
            machine.unplugDisk();
            kx_dev_is_change(&added, &removed);
            machine.plugDisk();
            kx_dev_probe();
        }
        if (kx_disk_probe(machine.devicePath().c_str()) != 1) {
            std::fprintf(stderr, "round %d: the disk did not probe\n", round);
            return 2;
        }
        if (round == kWarmUpRounds)
            afterWarmUp = residentKiB();
        if (round == 1 || round % 250 == 0 || round == kWarmUpRounds)
            std::printf("round %4d: resident %ld KiB\n", round, residentKiB());
    }
    const long growth = residentKiB() - afterWarmUp;
    kx_dev_destroy();
    kx_soft_exit();
    std::printf("growth after round %d: %ld KiB (allowance %ld KiB)\n", kWarmUpRounds, growth, kAllowanceKiB);
    return growth > kAllowanceKiB ? 1 : 0;
}
