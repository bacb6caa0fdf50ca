// Which machine a command acts on: --machine, else KX_MACHINE, else the
// default machine, which is created the first time it is needed.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/machine.h"

namespace machine_tool {

struct Invocation;

// The folder named by --machine or KX_MACHINE, if any.
std::optional<machine::fs::path> chosenDir(const Invocation& inv);
std::shared_ptr<machine::Machine> openTarget(const Invocation& inv);

}  // namespace machine_tool
