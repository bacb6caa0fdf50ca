// orvane-machine: the control tool of the emulated Windows machine.
#include <iostream>
#include <string_view>

#include "commands.h"
#include "platform/machine.h"

int main(int argc, char** argv)
{
    using namespace machine_tool;
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "orvane-machine " ORVANE_VERSION "\n";
        return 0;
    }
    try {
        const Invocation inv = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), commandTable());
        if (inv.help)
            return runHelp(inv);
        return inv.command->run(inv);
    } catch (const UsageError& e) {
        std::cerr << "orvane-machine: " << e.what() << "\nTry 'orvane-machine help' for the commands and options.\n";
        return 2;
    } catch (const std::exception& e) {
        // MachineError and file-system errors: the request was understood but failed.
        std::cerr << "orvane-machine: " << e.what() << "\n";
        return 1;
    }
}
