// The encryption algorithms (single ciphers and cascades) and modes a volume
// header may name, with what may still be created.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "crypto/ciphers/block_cipher.h"

namespace kx::crypto {

enum class Mode { Lrw = 1, Cbc = 2, OuterCbc = 3, InnerCbc = 4 };

const char* modeName(Mode mode);

// Key material of a volume or header key: this many bytes of secondary key
// (the LRW tweak key, or the CBC IV and whitening seed) come first, then the
// ciphers' keys in table order.
inline constexpr std::size_t secondaryKeySize = 32;

struct EncryptionAlgorithm {
    int id;
    std::array<Cipher, 3> cipherSlots;
    std::size_t cipherCount;
    std::array<Mode, 2> modeSlots;
    std::size_t modeCount;
    bool creatable;

    // In table order: encryption applies the first one first.
    std::span<const Cipher> ciphers() const { return {cipherSlots.data(), cipherCount}; }
    std::span<const Mode> modes() const { return {modeSlots.data(), modeCount}; }
    bool supports(Mode mode) const;
    std::size_t keySize() const;
    // Block size of a cascade run as one cipher; 0 when its ciphers differ.
    std::size_t blockSize() const;
};

std::span<const EncryptionAlgorithm> allAlgorithms();
const EncryptionAlgorithm* findAlgorithm(int id);

// The longest key material any algorithm needs (secondary key included).
std::size_t largestKeyMaterial();

}  // namespace kx::crypto
