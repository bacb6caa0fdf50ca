// The keyed ciphers of one encryption algorithm, run together as a single
// block cipher (ECB), or one at a time by the inner-CBC mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "crypto/ciphers/algorithms.h"

namespace kx::crypto {

class CipherStack {
public:
    // Keys in table order, exactly the algorithm's key size. Null when a
    // cipher cannot be set up; weakKey tells whether a DES key was weak.
    static std::optional<CipherStack> create(const EncryptionAlgorithm& algorithm, std::span<const std::uint8_t> keys,
                                             bool& weakKey);

    std::span<const BlockCipher> ciphers() const { return ciphers_; }
    std::size_t blockSize() const { return blockSize_; }

    // Every cipher in turn over whole blocks of the stack's block size.
    [[nodiscard]] bool encrypt(std::span<std::uint8_t> blocks) const;
    [[nodiscard]] bool decrypt(std::span<std::uint8_t> blocks) const;

private:
    std::vector<BlockCipher> ciphers_;
    std::size_t blockSize_ = 0;
};

}  // namespace kx::crypto
