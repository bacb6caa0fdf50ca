// The commands of orvane. Each returns its exit code and reports failures
// by throwing UsageError or CommandFailure.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

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
std::string prepareDisk(const std::string& devpath, int count, const std::vector<std::uint32_t>& sizesMiB,
                        bool format, std::ostream& out);

// Many disks at once (--all): each in a worker process of its own.
int upgradeAll(const std::string& image, const CommandLine& line, std::ostream& out);
// --jobs N, or 0 (all at once) without it.
std::size_t jobsOption(const CommandLine& line);
// A worker's command line: these arguments, on this command's machine.
std::vector<std::string> workerCommand(const CommandLine& line, std::vector<std::string> args);

}  // namespace cli
