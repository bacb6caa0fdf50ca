// The clear-bit count of NTFS free space: the byte-at-a-time loop it was,
// against the count eight bytes a step, on the $Bitmap of a 512 GiB volume
// with 4 KiB clusters (16 MiB) and on one cluster of it. Started one byte
// past a word, as a chunk of the map may be.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "volumes/bitmap_count.h"

namespace {

constexpr std::int64_t k16MiB = 16 << 20;
constexpr std::int64_t k4KiB = 4 << 10;

std::uint64_t ClearBitsBytewise(const std::uint8_t* p, std::size_t bytes)
{
    std::uint64_t clear = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        clear += 8 - static_cast<unsigned>(__builtin_popcount(p[i]));
    return clear;
}

const std::vector<std::uint8_t>& Bitmap()
{
    static const std::vector<std::uint8_t> map = [] {
        std::vector<std::uint8_t> m(k16MiB + 1);
        std::mt19937_64 engine(512);
        for (auto& b : m)
            b = static_cast<std::uint8_t>(engine());
        return m;
    }();
    return map;
}

template <typename Fn> void CountOver(benchmark::State& state, Fn fn)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::uint8_t* map = Bitmap().data() + 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(fn(map, size));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BitmapReference(benchmark::State& s) { CountOver(s, ClearBitsBytewise); }
void BitmapChosen(benchmark::State& s) { CountOver(s, win::detail::countClearBits); }

}  // namespace

BENCHMARK(BitmapReference)->Name("NtfsFreeBits/reference")->Arg(k16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BitmapChosen)->Name("NtfsFreeBits/chosen")->Arg(k16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BitmapReference)->Name("NtfsFreeBits/reference")->Arg(k4KiB);
BENCHMARK(BitmapChosen)->Name("NtfsFreeBits/chosen")->Arg(k4KiB);
