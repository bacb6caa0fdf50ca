// Byte layout of a master boot record and of an extended boot record: every
// field is read and written through little-endian accessors on the raw
// 512 bytes, never through a packed struct.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kx::mbr {

inline constexpr std::size_t kSectorSize = 512;
inline constexpr std::size_t kBootCodeSize = 75;
inline constexpr std::size_t kBootAreaEnd = 216;       // user information block starts here
inline constexpr std::size_t kMarkerOffset = 436;      // four 0xFF bytes: written by us
inline constexpr std::size_t kSignatureOffset = 440;   // disk signature
inline constexpr std::size_t kEntriesOffset = 446;
inline constexpr std::size_t kEntrySize = 16;
inline constexpr std::size_t kMagicOffset = 510;
inline constexpr std::uint16_t kMagic = 0xAA55;        // bytes 0x55 0xAA
inline constexpr std::uint16_t kEmptyEbrMagic = 0xF6F6;

using Sector = std::array<std::uint8_t, kSectorSize>;

inline std::uint16_t get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// CHS translation of the BIOS: heads per cylinder and sectors per track.
struct ChsGeometry {
    int heads = 255;
    int sectors = 63;
};

// The three CHS bytes of an LBA sector; sectors beyond cylinder 1023 get
// the customary 1023/heads-1/sectors.
std::array<std::uint8_t, 3> chsOf(std::uint64_t lba, ChsGeometry geometry);

// One partition entry as it is stored (the CHS bytes are derived on write).
struct Entry {
    std::uint8_t status = 0;  // 0x80 boot, else 0
    std::uint8_t system = 0;
    std::uint32_t start = 0;  // LBA, relative to the table's base
    std::uint32_t count = 0;

    bool empty() const { return system == 0 || count == 0; }
};

Entry getEntry(const std::uint8_t* sector, int slot);
// start and end are absolute sectors for the CHS bytes; entry.start is the
// value stored in the LBA field.
void putEntry(std::uint8_t* sector, int slot, const Entry& entry, std::uint64_t absStart, std::uint64_t absEnd,
              ChsGeometry geometry);

inline std::uint16_t magicOf(const std::uint8_t* sector)
{
    return get16(sector + kMagicOffset);
}

bool isMarked(const std::uint8_t* sector);
bool isExtendedId(std::uint8_t system);

// Boot code put into a blank sector 0: prints a line and halts.
const std::array<std::uint8_t, kBootCodeSize>& defaultBootCode();

// A new disk signature from the seconds field of the local time; never 0,
// since 0 reads as "no signature" and would be replaced at every write.
std::uint32_t signatureFromSeconds(int seconds);

// Turns the existing sector 0 into ours, ready for entries: boot code on a
// blank sector, the signature kept or set, marker and magic, entries cleared.
// The user information block (216..435) and bytes 444..445 are always kept.
void prepareSectorZero(std::uint8_t* sector, int secondsNow);

}  // namespace kx::mbr
