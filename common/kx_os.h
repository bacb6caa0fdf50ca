// The OS facts: detected once per process, then fixed.
#pragma once

namespace kx {

// The OS code of kx_os_version, detecting it on first use (no log line).
int osCode();
// The major version Windows reported, detected as above.
int osMajorVersion();

// Forgets the detection so the next call asks Windows again; lets one test
// process see several machines.
void resetOsForTests();

}  // namespace kx
