// The commands of orvane. Each returns its exit code and reports failures
// by throwing UsageError or CommandFailure.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/device_list.h"
#include "cli/job_stop.h"

namespace cli {

// notOffered: the disks the machine has but does not offer, each with why.
int runDevices(const CommandLine& line, std::ostream& out, const std::vector<std::string>& notOffered = {});
int runUserInfo(const CommandLine& line, std::ostream& out);
int runImage(const CommandLine& line, std::ostream& out);
int runUpgrade(const CommandLine& line, std::ostream& out);
int runSetup(const CommandLine& line, std::ostream& out);
int runFormat(const CommandLine& line, std::ostream& out);
int runUsbFilter(const CommandLine& line, std::ostream& out);
int runPrivate(const CommandLine& line, std::ostream& out);
void printUsage(std::ostream& out);

// Shared by setup and upgrade.
// Shows the question and "Go on? [y/N]"; true only for a y or yes on stdin.
bool askToGoOn(const std::string& question, std::ostream& out);
// Lays the disk out afresh with the format worker: every partition deleted,
// the system partition and count public ones (sizes in MiB of all but the
// last), formatted when asked. Shows the stages; returns the disk's path
// afterwards (a device restart may renumber it). Throws CommandFailure.
// restartWhenTold: a worker of --all waits for its turn before a restart.
// A signal asks the format worker to stop through stop; one that stops it
// before its first write ends in Stopped.
std::string prepareDisk(const std::string& devpath, int count, const std::vector<std::uint32_t>& sizesMiB,
                        bool format, std::ostream& out, WorkerStop& stop, bool restartWhenTold = false);

// A signal's answer once a disk is being written.
inline constexpr const char* kFinishingFirmware = "finishing: the firmware is being written";
inline constexpr const char* kFinishingSetup = "finishing: the disk is being set up";

// Many disks at once (--all, --jobs N): what a command does to each disk.
struct AllDisksJob {
    std::string verb;      // "upgrade"
    std::string question;  // "... will replace the firmware on", followed by the disks
    // Empty when the command may take the disk, else why it is left alone.
    std::function<std::string(const ListedDevice&)> whyLeftAlone;
    // The worker's command line for one disk, without --yes and --device.
    std::function<std::vector<std::string>(const std::string& devpath)> workerArgs;
};
// Usage errors of --all, --jobs and --device together.
void checkAllOptions(const CommandLine& line);
// Each disk taken by a worker process of its own; exit 0 only when all succeed.
int runOnAllDisks(const CommandLine& line, const AllDisksJob& job, std::ostream& out);

}  // namespace cli
