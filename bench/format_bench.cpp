// A quick NTFS format of a 60 GiB partition of a 64 GiB sparse disk through
// kx_part_format, as the disk setup runs it, on an emulated machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

#include "bench/bench_machine.h"
#include "kx/kx.h"

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

// The library started on the machine, with the disk laid out as the
// appliance's table: the system partition and one public partition.
class PreparedDisk {
public:
    PreparedDisk() : machine_(64 * kGiB)
    {
        if (kx_soft_init() != 1 || kx_dev_probe() != 1)
            return;
        kx_device* device = kx_dev_get(nullptr, 0, 0);
        disk_ = device ? kx_disk_get(device->path) : nullptr;
        if (!disk_ || kx_part_delete_all(disk_) != 1 || kx_part_create_pnum(disk_, 1, 60 * kGiB, 0, 0, kGiB) != 1)
            disk_ = nullptr;
    }
    ~PreparedDisk()
    {
        kx_dev_destroy();
        kx_soft_exit();
    }

    // The public partition, fetched afresh as after every format.
    PedWinPart* publicPartition() const
    {
        PedWinPart* system = disk_ ? kx_part_getinfo(disk_, nullptr, KX_PART_ALL) : nullptr;
        return system ? kx_part_getinfo(disk_, system, KX_PART_ALL) : nullptr;
    }

    const bench::BenchMachine& machine() const { return machine_; }

private:
    bench::BenchMachine machine_;
    kx_disk* disk_ = nullptr;
};

void QuickNtfsFormat60GiB(benchmark::State& state)
{
    std::optional<PreparedDisk> disk;
    try {
        disk.emplace();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        PedWinPart* part = disk->publicPartition();
        if (!part) {
            state.SkipWithError("the 60 GiB partition was not made");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        const int result = kx_part_format(part, nullptr, "Partition-1", 1, 0);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        seconds += took.count();
        if (result != 0) {
            state.SkipWithError("kx_part_format failed");
            break;
        }
    }
    state.counters["format_seconds"] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    state.counters["image_allocated_bytes"] =
        benchmark::Counter(static_cast<double>(disk->machine().allocatedBytes()), benchmark::Counter::kDefaults,
                           benchmark::Counter::kIs1024);
}

}  // namespace

BENCHMARK(QuickNtfsFormat60GiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
