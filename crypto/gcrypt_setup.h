// libgcrypt must be initialised once per process before any use; every user
// in the library (header work, the random pool) goes through this.
#pragma once

namespace kx::crypto {

// Initialises libgcrypt with a locked secure-memory pool unless the host
// program already finished its own initialisation. Safe from any thread.
void ensureGcrypt();

}  // namespace kx::crypto
