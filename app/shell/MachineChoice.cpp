#include "app/shell/MachineChoice.h"

#include "platform/machine.h"

std::string ChooseMachine(const std::string& dir)
{
    try {
        machine::Machine::open(dir);
    } catch (const std::exception& e) {
        return e.what();
    }
    machine::select(dir);
    return {};
}
