// Header key derivation: PBKDF2 over the three HMACs a volume header may
// use, at the iteration counts of this format generation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace kx::crypto {

// Ids as a header's creator identifies them.
enum class Prf { RipeMd160 = 1, Sha1 = 2, Whirlpool = 3 };

inline constexpr std::array<Prf, 3> allPrfs = {Prf::RipeMd160, Prf::Sha1, Prf::Whirlpool};

std::optional<Prf> prfFromId(int id);
unsigned headerIterations(Prf prf);
const char* prfName(Prf prf);

// PBKDF2 (RFC 2898) with HMAC-prf. False when libgcrypt refuses.
[[nodiscard]] bool pbkdf2(Prf prf, std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                          unsigned iterations, std::span<std::uint8_t> out);

}  // namespace kx::crypto
