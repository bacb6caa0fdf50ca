// machine.json <-> State.
#pragma once

#include "platform/machine.h"

namespace machine {

nlohmann::json toJson(const State& state);
// Throws MachineError with what is wrong when the document is not a machine.
State fromJson(const nlohmann::json& doc);
// fromJson's reason without its "machine.json: " in front, for a caller
// that names the file itself.
std::string damageOf(const MachineError& e);

}  // namespace machine
