// The commands that pass straight through to the machine.
#include <iostream>

#include "commands.h"
#include "numbers.h"
#include "target_machine.h"

namespace machine_tool {

int runCreate(const Invocation& inv)
{
    machine::fs::path dir;
    if (!inv.args.empty()) {
        dir = inv.args[0];
        if (inv.machineDir && machine::fs::weakly_canonical(*inv.machineDir) != machine::fs::weakly_canonical(dir))
            throw UsageError("create names two folders: " + inv.args[0] + " and --machine " + *inv.machineDir);
    } else {
        dir = chosenDir(inv).value_or(machine::defaultDir());
    }
    auto m = machine::Machine::create(dir, inv.flag("--host-disks"));
    std::cout << "created machine in " << m->shownDir().string() << "\n" << machine::describe(*m, *m->read());
    return 0;
}

int runList(const Invocation& inv)
{
    const auto target = openTarget(inv);
    machine::followHostDisks(*target);
    std::cout << machine::describe(*target, *target->read());
    return 0;
}

int runPlug(const Invocation& inv)
{
    const int slot = parseSlot(inv.args[0]);
    auto m = openTarget(inv);
    machine::plug(*m, slot);
    std::cout << "disk " << slot << " plugged in as PhysicalDrive" << m->read()->disks.at(slot).number << "\n";
    return 0;
}

int runUnplug(const Invocation& inv)
{
    const int slot = parseSlot(inv.args[0]);
    machine::unplug(*openTarget(inv), slot);
    std::cout << "disk " << slot << " unplugged\n";
    return 0;
}

int runDiskPath(const Invocation& inv)
{
    const int slot = parseSlot(inv.args[0]);
    auto m = openTarget(inv);
    auto state = m->read();
    if (slot >= static_cast<int>(state->disks.size()))
        throw machine::MachineError("no disk " + std::to_string(slot) + " in this machine (it has " +
                                    std::to_string(state->disks.size()) + ")");
    // Where people and other programs find it: the held folder's path means
    // nothing outside this process.
    const machine::fs::path backing(state->disks[static_cast<size_t>(slot)].backing);
    std::cout << (backing.is_absolute() ? backing : m->shownDir() / backing).string() << "\n";
    return 0;
}

int runHelp(const Invocation&)
{
    std::cout << usageText();
    return 0;
}

}  // namespace machine_tool
