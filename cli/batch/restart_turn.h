// The worker's side of a many-disk run: a device restart reaches every USB
// device of the same hardware id, so the worker says it is ready and waits
// for a line on its input (an ended parent lets it go too).
#pragma once

#include <ostream>

namespace cli {

void waitForRestartTurn(std::ostream& out);

}  // namespace cli
