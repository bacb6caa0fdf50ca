// The CBC modes of older volumes: CBC with an IV and an 8-byte whitening
// value XORed over the ciphertext, both from the 32-byte secondary key.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "crypto/ciphers/cipher_stack.h"
#include "crypto/secure_bytes.h"

namespace kx::crypto {

struct CbcSeed {
    std::array<std::uint8_t, 16> iv{};  // the first blockSize bytes are used
    std::array<std::uint8_t, 8> whitening{};

    ~CbcSeed() { secureWipe(iv.data(), iv.size()), secureWipe(whitening.data(), whitening.size()); }
};

// The seed of the header's encrypted area: the secondary key as it stands.
CbcSeed headerCbcSeed(std::span<const std::uint8_t, 32> secondary, std::size_t blockSize);

// The seed of one sector: the secondary key mixed with the sector's number
// counted from the volume's start (the header is sector 0).
CbcSeed sectorCbcSeed(std::span<const std::uint8_t, 32> secondary, std::size_t blockSize, std::uint64_t sector);

// CBC over whole blocks of `cipher` (a single cipher or a stack run as one),
// whitening the ciphertext.
template <typename BlockCipherLike>
[[nodiscard]] bool cbcApply(const BlockCipherLike& cipher, std::size_t blockSize, const CbcSeed& seed,
                            std::span<std::uint8_t> data, bool encrypting);

}  // namespace kx::crypto
