// The commands of orvane-machine. Each returns the exit code; errors are
// thrown (UsageError, machine::MachineError) and turned into codes by main.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace machine_tool {

const std::vector<CommandSpec>& commandTable();
std::string usageText();

int runCreate(const Invocation& inv);
int runList(const Invocation& inv);
int runAddDisk(const Invocation& inv);
int runPlug(const Invocation& inv);
int runUnplug(const Invocation& inv);
int runSet(const Invocation& inv);
int runDiskPath(const Invocation& inv);
int runPutFile(const Invocation& inv);
int runGetFile(const Invocation& inv);
int runWatch(const Invocation& inv);
int runHelp(const Invocation& inv);

}  // namespace machine_tool
