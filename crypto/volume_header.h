// The 512-byte volume header: a salt, then an area encrypted with the key
// derived from the password and salt. Integers are big-endian; times are
// Windows file times (100 ns since 1601).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/byte_order.h"
#include "crypto/secure_bytes.h"

namespace kx::crypto {

inline constexpr std::size_t headerSize = 512;
using HeaderBytes = std::array<std::uint8_t, headerSize>;
static_assert(sizeof(HeaderBytes) == headerSize);

namespace header {

template <typename T, std::size_t Offset>
using Big = IntField<T, Offset, headerSize, ByteOrder::Big>;

using Salt = ByteRange<0, 64, headerSize>;
using EncryptedArea = ByteRange<64, 448, headerSize>;
using Magic = ByteRange<64, 4, headerSize>;
using Version = Big<std::uint16_t, 68>;
using RequiredProgramVersion = Big<std::uint16_t, 70>;
using KeyAreaCrc = Big<std::uint32_t, 72>;
using CreationTime = Big<std::uint64_t, 76>;
using ModificationTime = Big<std::uint64_t, 84>;
using HiddenVolumeSize = Big<std::uint64_t, 92>;
// Reserved (zero) in version 2; later versions keep the data area's size here.
using DataAreaSize = Big<std::uint64_t, 100>;
using Reserved = ByteRange<108, 148, headerSize>;
// The secondary key (32 bytes) and the master keys, in key-material order.
using KeyArea = ByteRange<256, 256, headerSize>;

static_assert(Salt::size + EncryptedArea::size == headerSize);
static_assert(DataAreaSize::offset + DataAreaSize::size == Reserved::offset);
static_assert(Reserved::offset + Reserved::size == KeyArea::offset);

inline constexpr std::array<std::uint8_t, 4> magic = {'T', 'R', 'U', 'E'};

// What this program writes, and the newest program version it can serve.
inline constexpr std::uint16_t currentVersion = 2;
inline constexpr std::uint16_t writtenRequiredProgramVersion = 0x0410;
inline constexpr std::uint16_t newestReadableProgramVersion = 1082;

}  // namespace header

struct HeaderFields {
    std::uint16_t version = header::currentVersion;
    std::uint16_t requiredProgramVersion = header::writtenRequiredProgramVersion;
    std::uint32_t keyAreaCrc = 0;
    std::uint64_t creationTime = 0;
    std::uint64_t modificationTime = 0;
    std::uint64_t hiddenVolumeSize = 0;
    std::uint64_t dataAreaSize = 0;  // 0: not given, the data area runs to the partition's end
};

// A header in the clear (keys included), held in locked memory.
class PlainHeader {
public:
    PlainHeader() : bytes_(headerSize) {}
    std::span<std::uint8_t, headerSize> bytes() { return bytes_.span().first<headerSize>(); }
    std::span<const std::uint8_t, headerSize> bytes() const { return bytes_.span().first<headerSize>(); }

    HeaderFields fields() const;
    // Also writes the magic, zeroes the reserved bytes and keeps the given CRC.
    void setFields(const HeaderFields& fields);
    bool hasMagic() const;
    // The stored CRC matches the key area.
    bool keyAreaIntact() const;

private:
    SecureBytes bytes_;
};

// Now, as a Windows file time.
std::uint64_t fileTimeNow();

}  // namespace kx::crypto
