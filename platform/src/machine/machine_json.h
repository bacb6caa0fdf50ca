// machine.json <-> State.
#pragma once

#include "platform/machine.h"

namespace machine {

nlohmann::json toJson(const State& state);
// Throws MachineError with what is wrong when the document is not a machine.
State fromJson(const nlohmann::json& doc);

}  // namespace machine
