// The micro-benchmark figures orvane_bench wrote as JSON, read back so the
// comparison can put each engine beside its byte-at-a-time reference.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace bench {

struct MicroFigure {
    double seconds = 0;         // wall time per iteration; the median when repeated
    double cpuSeconds = 0;      // processor time per iteration, what a shared machine spoils least
    double bytesPerSecond = 0;  // by processor time; 0 when the benchmark gives none
};

// Run names ("CalcCrc16/clmul/33554432") to figures; failed runs left out.
std::map<std::string, MicroFigure> ReadMicroResults(const std::filesystem::path& json);

}  // namespace bench
