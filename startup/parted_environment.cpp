// libkx names this library after libparted, and the loader runs the
// initialisers of a library's dependencies last-named first: this one runs
// before libparted's. Only MBR tables are read and written, so libparted's
// load-time question whether the host is an Apple machine (a shell running
// dmidecode, 5 to 10 ms of every start of every program and worker) is
// answered before it is asked. A value the user set is kept.
#include <cstdlib>

namespace {

__attribute__((constructor)) void SkipAppleCheck()
{
    ::setenv("PARTED_GPT_APPLE", "0", 0);
}

}  // namespace
