// Many disks at once, each job in a worker process of its own, at most so
// many at a time. Device restarts are held back until no worker is moving
// data: a restart reaches every disk of the same hardware id. Then the
// waiting workers restart together, each when told.
#pragma once

#include <string>
#include <vector>

#include "cli/batch/batch_display.h"

namespace cli {

struct DiskJob {
    std::string disk;               // as the display and the summary name it
    std::vector<std::string> args;  // the worker's command line
};

struct DiskJobEnd {
    int exitCode = -1;
    std::string words;  // the result in words, or the worker's error
    double seconds = 0;
};

// In the jobs' order. atOnce 0 means all at once.
std::vector<DiskJobEnd> runDiskJobs(const std::vector<DiskJob>& jobs, std::size_t atOnce, BatchDisplay& display);

}  // namespace cli
