// A second reader of the encrypted volume format, for the tests only. It is
// written again from the format's public description and shares no code
// with the product: libgcrypt gives it PBKDF2 and the bare block ciphers in
// ECB; LRW, the whitened CBC modes, cascades and the header checks are its
// own. What the product writes must read here, and the other way round.
//
// The rules it holds to, per mode:
// - LRW: the tweak key is the first block of the key area (16 or 8 bytes),
//   T = K2 * I in GF(2^128) (x^128 + x^7 + x^2 + x + 1) or GF(2^64)
//   (x^64 + x^4 + x^3 + x + 1) with big-endian elements; the header's
//   encrypted area is blocks 1, 2, ...; the data area starts again at 1 for
//   its first sector (the sector after the header).
// - CBC, outer CBC, inner CBC: IV and whitening from the first 32 bytes of
//   the key area; a data sector's number counts from the volume's start
//   (the header is sector 0, the first data sector 1).
// - Blowfish takes its 32-bit halves little-endian.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace volume_reader {

struct Parameters {
    int algorithm = 0;  // the format's algorithm ids (1 AES ... 13)
    int mode = 0;       // 1 LRW, 2 CBC, 3 outer CBC, 4 inner CBC
    int prf = 0;        // 1 RIPEMD-160, 2 SHA-1, 3 Whirlpool
    int headerVersion = 0;
};

class Volume {
public:
    // Null when the password opens the 512-byte header under no PRF,
    // algorithm and mode (magic and key-area CRC both hold).
    static std::unique_ptr<Volume> open(std::span<const std::uint8_t> header, std::string_view password);
    virtual ~Volume() = default;

    virtual Parameters parameters() const = 0;
    // Whole 512-byte sectors of the data area in place; dataSector 0 is the
    // first sector after the header.
    virtual void decrypt(std::uint64_t dataSector, std::span<std::uint8_t> sectors) const = 0;
};

// The data area of the volume at [offset, offset + length) of a file, in the
// clear, into a new sparse file: sectors stored as zeros (never written)
// stay holes. Empty on success, else what went wrong.
std::string decryptToFile(const std::string& source, std::uint64_t offset, std::uint64_t length,
                          std::string_view password, const std::string& target, Parameters* found = nullptr);

}  // namespace volume_reader
