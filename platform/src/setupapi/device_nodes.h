// Device nodes of the machine's disk drives: the state changes their class
// installer makes, and how the machine lists nodes and services.
#pragma once

#include <string>

#include "platform/machine.h"

namespace machine {

// One class-installer state change of the disk's node. False when the
// installer refuses it (the node_fail_on setting, or the system disk, which
// cannot be stopped). needsReboot tells whether the node asks for a reboot.
bool changeNodeState(const Machine& m, State& state, Disk& disk, NodeChange change, bool& needsReboot);

// Lines for describe(): the node's filters and changes, and the services.
std::string describeNode(const State& state, const Disk& disk);
std::string describeServices(const State& state);

}  // namespace machine
