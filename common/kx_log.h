// Internals of the library log shared with tests.
#pragma once

namespace kx {

// Turns logging off again, as before kx_log_init; lets one test process
// start from a clean state.
void resetLogForTests();

}  // namespace kx
