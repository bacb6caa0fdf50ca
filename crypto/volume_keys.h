// Creating, opening and re-keying volume headers: what the encryption
// driver and the private-partition operations call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "crypto/ciphers/algorithms.h"
#include "crypto/pbkdf2.h"
#include "crypto/random_source.h"
#include "crypto/secure_bytes.h"
#include "crypto/ciphers/volume_cipher.h"
#include "crypto/volume_header.h"

namespace kx::crypto {

// Passwords are byte strings of 1 to 64 bytes, as the caller gives them.
inline constexpr std::size_t maxPasswordSize = 64;
using PasswordView = std::span<const std::uint8_t>;

inline PasswordView passwordBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

enum class HeaderError {
    None,
    WrongPassword,         // no PRF, algorithm and mode yields an intact header
    NewerProgramRequired,  // the header asks for a program newer than ours
    BadPassword,           // empty or longer than maxPasswordSize
    Unsupported,           // algorithm, mode or PRF unknown or not to be created
    BadVolumeSize,
    RandomFailed,
    CipherFailed,
    WriteFailed,
};

const char* headerErrorText(HeaderError error);

// An opened (or just created) volume: its parameters, header fields and
// the keys to its data, all wiped when it goes away.
struct OpenedVolume {
    const EncryptionAlgorithm* algorithm = nullptr;
    Mode mode = Mode::Lrw;
    Prf prf = Prf::Sha1;
    HeaderFields fields;
    SecureBytes keyArea;  // the header's 256-byte key area
    std::unique_ptr<VolumeCipher> cipher;
    // A DES master key is weak: the header opens but mounting should refuse.
    bool weakKey = false;
};

struct OpenResult {
    HeaderError error = HeaderError::WrongPassword;
    std::optional<OpenedVolume> volume;
};

// Tries every PRF and every algorithm and mode of the table.
[[nodiscard]] OpenResult openHeader(PasswordView password, std::span<const std::uint8_t, headerSize> header);

struct CreateOptions {
    int algorithm = 1;  // AES
    Mode mode = Mode::Lrw;
    Prf prf = Prf::Sha1;
    std::uint64_t volumeSize = 0;  // bytes, header included; whole units
    std::optional<std::uint64_t> now;  // file time; the clock when absent
    // Lets the algorithms and modes that are only read be written too, so
    // their reading can be tested.
    bool allowLegacy = false;
};

struct CreateResult {
    HeaderError error = HeaderError::None;
    HeaderBytes header{};
    std::optional<OpenedVolume> volume;
};

[[nodiscard]] CreateResult createHeader(PasswordView password, const CreateOptions& options,
                                        const RandomSource& random);

// Passes a password change writes at the header's place, the last being
// the one that stays.
inline constexpr int headerRewritePasses = 36;

// Gets each pass's 512 bytes (pass counts from 1); false stops the change.
using HeaderWriter = std::function<bool(std::span<const std::uint8_t, headerSize>, int pass)>;

// Re-encrypts the header under newPassword with the same keys, algorithm,
// mode and PRF. Every pass is a complete header under the new password with
// a fresh salt, so a change cut short still leaves an openable volume.
// Nothing is written when the old password does not open the header.
[[nodiscard]] HeaderError changePassword(std::span<const std::uint8_t, headerSize> header, PasswordView oldPassword,
                                         PasswordView newPassword, const RandomSource& random,
                                         const HeaderWriter& write, std::optional<std::uint64_t> now = std::nullopt);

}  // namespace kx::crypto
