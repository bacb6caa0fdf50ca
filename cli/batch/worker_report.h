// What a worker's output line says: a stage with its percentage, the
// result, or that it waits for leave to restart its device.
#pragma once

#include <string>

namespace cli {

// A worker started with --restart-when-told prints this before its device
// restart and waits for a line on its input.
inline constexpr const char* kWaitingToRestart = "waiting for the other disks before the restart";

struct WorkerReport {
    enum class Kind { Other, Progress, Stage, WaitingToRestart, Result, Error, SignalAnswer };
    Kind kind = Kind::Other;
    int percent = 0;
    std::string text;  // the stage, the result in words or the error
};

// An upgrade's "  55% [###    ] checking written regions" and "Result 0: ...";
// a setup's "Setting up: ...", "Formatting public partition 2 ...",
// "  40% partition 2" and "Disk set up."; "orvane: <error>" of either, and
// its answer to a signal, "orvane: stopping: ..." or "orvane: finishing: ...".
WorkerReport readWorkerLine(const std::string& line);

}  // namespace cli
