#include "parted/kx_session.h"

#include <atomic>

namespace kx {

namespace {

std::atomic<bool> started{false};

}  // namespace

void markLibraryStarted()
{
    started.store(true);
}

bool markLibraryStopped()
{
    return started.exchange(false);
}

bool libraryStarted(const Where& at)
{
    if (started.load())
        return true;
    report(at, "the library is not started (kx_soft_init)");
    return false;
}

}  // namespace kx
