#include "crypto/gcrypt_setup.h"

#include <gcrypt.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace kx::crypto {

namespace {

// Room for the key schedules of a few open volumes at once; the pool grows
// when more is needed.
constexpr unsigned secureMemoryBytes = 256 * 1024;

}  // namespace

void ensureGcrypt()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // libkx and the emulated driver each carry a copy of this code, so
        // the once above is not process-wide: a copy that finds another one
        // part way waits for it, as a second pool would make libgcrypt
        // complain on the terminal.
        for (int waited = 0; gcry_control(GCRYCTL_ANY_INITIALIZATION_P) && waited < 2000; ++waited) {
            if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P))
            return;
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_SUSPEND_SECMEM_WARN);
        gcry_control(GCRYCTL_INIT_SECMEM, secureMemoryBytes, 0);
        gcry_control(GCRYCTL_AUTO_EXPAND_SECMEM, secureMemoryBytes, 0);
        gcry_control(GCRYCTL_RESUME_SECMEM_WARN);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    });
}

}  // namespace kx::crypto
