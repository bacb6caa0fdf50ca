// A volume's data encryption: an algorithm in one of its modes, keyed from
// key material laid out as the header keeps it (secondary key, then the
// ciphers' keys). Encrypts the header's encrypted area and data units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "crypto/ciphers/algorithms.h"
#include "crypto/ciphers/cipher_stack.h"
#include "crypto/ciphers/lrw.h"
#include "crypto/secure_bytes.h"

namespace kx::crypto {

// Data units are the 512-byte sectors of the data area, which follows the
// one-sector header; the first is data unit 0.
inline constexpr std::size_t dataUnitSize = 512;

// libgcrypt handles are not to be shared between threads: one thread at a
// time per VolumeCipher (a driver serving several threads keys one each).
class VolumeCipher {
public:
    // Null when the mode is not one of the algorithm's, the key material is
    // shorter than secondaryKeySize + algorithm.keySize(), or a cipher fails.
    static std::unique_ptr<VolumeCipher> create(const EncryptionAlgorithm& algorithm, Mode mode,
                                                std::span<const std::uint8_t> keyMaterial);

    const EncryptionAlgorithm& algorithm() const { return algorithm_; }
    Mode mode() const { return mode_; }
    // A DES key of the material is weak: usable, but not to be trusted.
    bool weakKey() const { return weakKey_; }

    // The header's encrypted area (the 448 bytes after the salt).
    [[nodiscard]] bool encryptHeaderArea(std::span<std::uint8_t> area) const;
    [[nodiscard]] bool decryptHeaderArea(std::span<std::uint8_t> area) const;

    // Whole data units in place, the first one being data unit firstUnit.
    [[nodiscard]] bool encryptData(std::uint64_t firstUnit, std::span<std::uint8_t> data) const;
    [[nodiscard]] bool decryptData(std::uint64_t firstUnit, std::span<std::uint8_t> data) const;

private:
    VolumeCipher(const EncryptionAlgorithm& algorithm, Mode mode, CipherStack stack,
                 std::span<const std::uint8_t> secondary);

    [[nodiscard]] bool header(std::span<std::uint8_t> area, bool encrypting) const;
    [[nodiscard]] bool units(std::uint64_t firstUnit, std::span<std::uint8_t> data, bool encrypting) const;
    [[nodiscard]] bool cbc(std::span<std::uint8_t> data, std::optional<std::uint64_t> sector, bool encrypting) const;
    std::span<const std::uint8_t, secondaryKeySize> secondary() const;

    const EncryptionAlgorithm& algorithm_;
    Mode mode_;
    CipherStack stack_;
    SecureBytes secondary_;
    std::optional<LrwTweaks> tweaks_;
    bool weakKey_ = false;
};

}  // namespace kx::crypto
