// LRW tweakable mode: C = E(P ^ T) ^ T with T = K2 * I in GF(2^128), or in
// GF(2^64) for 64-bit-block ciphers. I is the big-endian block index and the
// field elements are read big-endian (the leftmost bit is the top power).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/ciphers/cipher_stack.h"
#include "crypto/secure_bytes.h"

namespace kx::crypto {

using BlockIndex = unsigned __int128;

class LrwTweaks {
public:
    // blockSize 16 or 8; the tweak key is the first blockSize bytes of key.
    LrwTweaks(std::size_t blockSize, std::span<const std::uint8_t> key);

    std::size_t blockSize() const { return blockSize_; }

    // Big-endian tweaks of out.size() / blockSize consecutive indices.
    void fill(BlockIndex first, std::span<std::uint8_t> out) const;

private:
    BlockIndex power(std::size_t k) const;
    BlockIndex increment(std::size_t trailingOnes) const;

    std::size_t blockSize_;
    // K2 * x^k and K2 * (x^(k+1) - 1) in the field's bit width, key-derived
    // and so kept in locked memory.
    SecureBytes powers_;
    SecureBytes increments_;
};

// Encrypts or decrypts whole blocks in place, the first one at index first.
// BlockCipherLike: blockSize(), encrypt(span) and decrypt(span) in ECB.
template <typename BlockCipherLike>
[[nodiscard]] bool lrwApply(const BlockCipherLike& cipher, const LrwTweaks& tweaks, BlockIndex first,
                            std::span<std::uint8_t> data, bool encrypting)
{
    const std::size_t blockSize = tweaks.blockSize();
    if (cipher.blockSize() != blockSize || data.size() % blockSize != 0)
        return false;
    std::array<std::uint8_t, 4096> tweakBuffer;
    bool ok = true;
    for (std::size_t done = 0; ok && done < data.size();) {
        const std::size_t chunk = std::min(tweakBuffer.size(), data.size() - done);
        const std::span<std::uint8_t> part = data.subspan(done, chunk);
        const std::span<std::uint8_t> tweak(tweakBuffer.data(), chunk);
        tweaks.fill(first + done / blockSize, tweak);
        for (std::size_t i = 0; i < chunk; ++i)
            part[i] ^= tweak[i];
        ok = encrypting ? cipher.encrypt(part) : cipher.decrypt(part);
        for (std::size_t i = 0; i < chunk; ++i)
            part[i] ^= tweak[i];
        done += chunk;
    }
    secureWipe(tweakBuffer.data(), tweakBuffer.size());
    return ok;
}

}  // namespace kx::crypto
