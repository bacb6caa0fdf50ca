// The two checksums on every engine, against the byte-at-a-time reference,
// and the region write with its read-back as the upgrade does it. Names are
// "What/engine/bytes"; orvane_compare divides each by its reference.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "app/core/checksums/ChecksumEngines.h"
#include "app/core/checksums/Checksums.h"
#include "app/core/firmware/ByteBuffer.h"
#include "app/core/firmware/TavrinOpt.h"
#include "app/core/support/WideText.h"
#include "bench/bench_machine.h"

namespace {

const ByteBuffer& RandomData(std::size_t size)
{
    static ByteBuffer data;
    if (data.size() < size) {
        std::mt19937_64 engine(20240611);
        data.resize(size);
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t word = engine();
            for (int b = 0; b < 8; ++b)
                data[i + b] = static_cast<std::uint8_t>(word >> (8 * b));
        }
    }
    return data;
}

template <typename Fn>
void RunOver(benchmark::State& state, Fn fn)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::uint8_t* data = RandomData(size).data();
    for (auto _ : state)
        benchmark::DoNotOptimize(fn(data, size));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void Crc16Reference(benchmark::State& s)
{
    RunOver(s, [](auto* d, auto n) { return checksum::CalcCrc16Bytewise(0, d, n); });
}
void Crc16Sliced(benchmark::State& s) { RunOver(s, [](auto* d, auto n) { return checksum::Crc16Sliced(0, d, n); }); }
void Crc16Clmul(benchmark::State& s)
{
    if (!checksum::ClmulAvailable())
        return s.SkipWithError("no carry-less multiplication on this processor");
    RunOver(s, [](auto* d, auto n) { return checksum::Crc16Clmul(0, d, n); });
}
void Crc16Wide(benchmark::State& s)
{
    if (!checksum::WideClmulAvailable())
        return s.SkipWithError("no VPCLMULQDQ with AVX2 on this processor");
    RunOver(s, [](auto* d, auto n) { return checksum::Crc16WideClmul(0, d, n); });
}
void Crc16Chosen(benchmark::State& s) { RunOver(s, [](auto* d, auto n) { return CalcCrc16(d, n); }); }

const CksumTable kTable = MakeCksumTable(true);
void CksumReference(benchmark::State& s)
{
    RunOver(s, [](auto* d, auto n) { return checksum::CksumBytewise(d, n, kTable); });
}
void CksumSliced(benchmark::State& s) { RunOver(s, [](auto* d, auto n) { return checksum::Crc32Sliced(0, d, n); }); }
void CksumClmul(benchmark::State& s)
{
    if (!checksum::ClmulAvailable())
        return s.SkipWithError("no carry-less multiplication on this processor");
    RunOver(s, [](auto* d, auto n) { return checksum::Crc32Clmul(0, d, n); });
}
void CksumWide(benchmark::State& s)
{
    if (!checksum::WideClmulAvailable())
        return s.SkipWithError("no VPCLMULQDQ with AVX2 on this processor");
    RunOver(s, [](auto* d, auto n) { return checksum::Crc32WideClmul(0, d, n); });
}
void CksumChosen(benchmark::State& s) { RunOver(s, [](auto* d, auto n) { return Cksum(d, n, kTable); }); }

constexpr std::int64_t k32MiB = 32 << 20;
constexpr std::int64_t k4KiB = 4 << 10;

// The rootfs region written from its file (four write-through pieces) and
// read back and compared, as the upgrade's second and third steps do.
void RootfsWriteAndCheck(benchmark::State& state)
{
    try {
        bench::BenchMachine machine(1ull << 30);
        const auto file = machine.workDir() / "rootfs";
        const ByteBuffer& data = RandomData(k32MiB);
        {
            std::FILE* out = std::fopen(file.c_str(), "wb");
            if (!out || std::fwrite(data.data(), 1, data.size(), out) != data.size() || std::fclose(out) != 0)
                return state.SkipWithError("cannot write the rootfs file");
        }
        const std::u16string path = Utf8ToWide(file.string());
        const std::u16string device = Utf8ToWide(machine.devicePath());
        CTavrinOpt opt;
        for (auto _ : state) {
            if (opt.WriteDeviceString(device.c_str(), UPGRADE_TYPE_ROOTFS, path.c_str()) != 0 ||
                opt.Check(device.c_str(), UPGRADE_TYPE_ROOTFS, path.c_str()) != 0)
                return state.SkipWithError("the rootfs region was not written and checked");
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * k32MiB);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

}  // namespace

BENCHMARK(Crc16Reference)->Name("CalcCrc16/reference")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc16Sliced)->Name("CalcCrc16/sliced")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc16Clmul)->Name("CalcCrc16/clmul")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc16Wide)->Name("CalcCrc16/wide")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc16Chosen)->Name("CalcCrc16/chosen")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc16Reference)->Name("CalcCrc16/reference")->Arg(k4KiB);
BENCHMARK(Crc16Chosen)->Name("CalcCrc16/chosen")->Arg(k4KiB);

BENCHMARK(CksumReference)->Name("Cksum/reference")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(CksumSliced)->Name("Cksum/sliced")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(CksumClmul)->Name("Cksum/clmul")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(CksumWide)->Name("Cksum/wide")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(CksumChosen)->Name("Cksum/chosen")->Arg(k32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(CksumReference)->Name("Cksum/reference")->Arg(k4KiB);
BENCHMARK(CksumChosen)->Name("Cksum/chosen")->Arg(k4KiB);

BENCHMARK(RootfsWriteAndCheck)
    ->Name("RootfsWriteAndCheck")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
