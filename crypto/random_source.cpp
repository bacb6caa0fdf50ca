#include "crypto/random_source.h"

#include <gcrypt.h>

#include "crypto/gcrypt_setup.h"

namespace kx::crypto {

RandomSource gcryptRandom(bool veryStrong)
{
    const gcry_random_level level = veryStrong ? GCRY_VERY_STRONG_RANDOM : GCRY_STRONG_RANDOM;
    return [level](std::span<std::uint8_t> out) {
        ensureGcrypt();
        gcry_randomize(out.data(), out.size(), level);
        return true;
    };
}

}  // namespace kx::crypto
