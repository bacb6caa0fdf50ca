#include "cli/batch/restart_turn.h"

#include <iostream>
#include <string>

#include "cli/batch/worker_report.h"

namespace cli {

void waitForRestartTurn(std::ostream& out)
{
    out << kWaitingToRestart << std::endl;
    std::string go;
    std::getline(std::cin, go);
}

}  // namespace cli
