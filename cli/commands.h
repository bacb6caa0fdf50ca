// The commands of orvane. Each returns its exit code and reports failures
// by throwing UsageError or CommandFailure.
#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace cli {

int runDevices(const CommandLine& line, std::ostream& out);
int runUserInfo(const CommandLine& line, std::ostream& out);
int runImage(const CommandLine& line, std::ostream& out);
int runUpgrade(const CommandLine& line, std::ostream& out);
void printUsage(std::ostream& out);

}  // namespace cli
