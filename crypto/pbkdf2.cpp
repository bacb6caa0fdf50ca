#include "crypto/pbkdf2.h"

#include <gcrypt.h>

#include "crypto/gcrypt_setup.h"

namespace kx::crypto {

namespace {

int digestAlgorithm(Prf prf)
{
    switch (prf) {
    case Prf::RipeMd160: return GCRY_MD_RMD160;
    case Prf::Sha1: return GCRY_MD_SHA1;
    case Prf::Whirlpool: return GCRY_MD_WHIRLPOOL;
    }
    return GCRY_MD_NONE;
}

}  // namespace

std::optional<Prf> prfFromId(int id)
{
    if (id < 1 || id > 3)
        return std::nullopt;
    return static_cast<Prf>(id);
}

unsigned headerIterations(Prf prf)
{
    return prf == Prf::Whirlpool ? 1000 : 2000;
}

const char* prfName(Prf prf)
{
    switch (prf) {
    case Prf::RipeMd160: return "HMAC-RIPEMD-160";
    case Prf::Sha1: return "HMAC-SHA-1";
    case Prf::Whirlpool: return "HMAC-Whirlpool";
    }
    return "?";
}

bool pbkdf2(Prf prf, std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt, unsigned iterations,
            std::span<std::uint8_t> out)
{
    ensureGcrypt();
    const int algorithm = digestAlgorithm(prf);
    if (algorithm == GCRY_MD_NONE || iterations == 0 || out.empty())
        return false;
    return gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2, algorithm, salt.data(), salt.size(),
                           iterations, out.size(), out.data()) == 0;
}

}  // namespace kx::crypto
