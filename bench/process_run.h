// Whole processes, timed from outside: wall time from start to reaping, and
// the kernel's own account of processor time and peak memory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct ProcessRun {
    double wallSeconds = 0;
    double cpuSeconds = 0;    // user and system, children waited for included
    double peakMiB = 0;       // the largest resident set of the process tree
    int exitStatus = -1;      // -1 when it did not exit normally
};

// Runs argv[0] (searched in PATH) with its output appended to `log`.
ProcessRun RunProcess(const std::vector<std::string>& argv, const std::filesystem::path& log);

// The runs of two commands taken in turn, A B A B ..., so that a drift in the
// machine's speed falls on both alike.
struct PairedRuns {
    std::vector<ProcessRun> a, b;
    double MedianWallA() const;
    double MedianWallB() const;
    // The median of the pair-by-pair ratios A / B.
    double MedianRatio() const;
    double MaxPeakA() const;
};

// Throws when a counted or warm-up run does not exit with 0: a failing
// command would only measure how fast it fails.
PairedRuns RunPairs(const std::vector<std::string>& a, const std::vector<std::string>& b, int runs, int warmups,
                    const std::filesystem::path& log);

double Median(std::vector<double> values);

}  // namespace bench
