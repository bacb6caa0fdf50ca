// Removing or restarting the USB devices that carry a hardware id.
#pragma once

#include <string>
#include <vector>

#include "platform/machine.h"

namespace cmddev {

enum class Action { Remove, Restart };

struct Outcome {
    std::vector<std::string> instanceIds;  // USB instance ids of the devices acted on
    int count = 0;
};

// Hardware ids compare without regard to case, as Windows compares them.
Outcome act(machine::Machine& m, Action action, const std::vector<std::string>& hardwareIds);
// The lines the tool prints for an outcome.
std::string report(Action action, const Outcome& outcome);

}  // namespace cmddev
