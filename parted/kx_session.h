// Whether the library is between a successful kx_soft_init and its
// kx_soft_exit. Device, disk, partition and driver calls outside that span
// return their failure value and touch nothing: the tables, the lock and the
// random pool they need are not there.
#pragma once

#include "common/kx_message.h"

namespace kx {

void markLibraryStarted();
// True when the library was running (so shut-down has work to do).
bool markLibraryStopped();

// True while started; otherwise logs the refusal under the caller's name.
bool libraryStarted(const Where& at);

}  // namespace kx

// Returns failure from the calling kx_ function when the library is not started.
#define KX_REQUIRE_STARTED(failure)                                       \
    do {                                                                  \
        if (!::kx::libraryStarted(KX_HERE(::kx::source::kxPart)))         \
            return (failure);                                             \
    } while (0)
