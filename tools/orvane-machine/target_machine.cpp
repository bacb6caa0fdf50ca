#include "target_machine.h"

#include <cstdlib>
#include <iostream>

#include "command_line.h"

namespace machine_tool {

std::optional<machine::fs::path> chosenDir(const Invocation& inv)
{
    if (inv.machineDir)
        return machine::fs::path(*inv.machineDir);
    if (const char* env = std::getenv("KX_MACHINE"); env && *env)
        return machine::fs::path(env);
    return std::nullopt;
}

std::shared_ptr<machine::Machine> openTarget(const Invocation& inv)
{
    // A machine asked for by name must exist: a typo must not make a new one.
    if (auto dir = chosenDir(inv))
        return machine::Machine::open(*dir);
    const machine::fs::path dir = machine::defaultDir();
    if (machine::fs::exists(dir / "machine.json"))
        return machine::Machine::open(dir);
    auto m = machine::Machine::create(dir);
    std::cerr << "orvane-machine: created the default machine in " << m->shownDir().string() << "\n";
    return m;
}

}  // namespace machine_tool
