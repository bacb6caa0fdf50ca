#include "labels/pedmsdos_sector.h"

#include <algorithm>
#include <cstring>

namespace kx::mbr {

namespace {

// Real-mode stub loaded at 0000:7C00: print the text with the BIOS teletype
// call, then halt for good. Jumps are relative, so a 07C0:0000 entry works too.
constexpr char kBootText[] = "This disk is not bootable.\r\n";
constexpr std::uint8_t kTextAt = 25;  // offset of the text in the stub

constexpr std::array<std::uint8_t, kBootCodeSize> makeBootCode()
{
    std::array<std::uint8_t, kBootCodeSize> code{};
    const std::uint8_t stub[kTextAt] = {
        0x31, 0xC0,              // xor ax, ax
        0x8E, 0xD8,              // mov ds, ax
        0xBE, kTextAt, 0x7C,     // mov si, 0x7C00 + text
        0xFC,                    // cld
        0xAC,                    // next: lodsb
        0x08, 0xC0,              // or al, al
        0x74, 0x09,              // jz halt
        0xB4, 0x0E,              // mov ah, 0x0E
        0xBB, 0x07, 0x00,        // mov bx, 0x0007
        0xCD, 0x10,              // int 0x10
        0xEB, 0xF2,              // jmp next
        0xF4,                    // halt: hlt
        0xEB, 0xFD,              // jmp halt
    };
    for (std::size_t i = 0; i < kTextAt; ++i)
        code[i] = stub[i];
    for (std::size_t i = 0; i + 1 < sizeof kBootText; ++i)
        code[kTextAt + i] = static_cast<std::uint8_t>(kBootText[i]);
    return code;
}

static_assert(kTextAt + sizeof kBootText <= kBootCodeSize, "boot text must end inside the boot code");

constexpr std::array<std::uint8_t, kBootCodeSize> kBootCode = makeBootCode();

}  // namespace

std::array<std::uint8_t, 3> chsOf(std::uint64_t lba, ChsGeometry g)
{
    if (g.heads < 1 || g.heads > 255 || g.sectors < 1 || g.sectors > 63)
        g = ChsGeometry{};
    const std::uint64_t perCylinder = static_cast<std::uint64_t>(g.heads) * g.sectors;
    std::uint64_t cylinder = lba / perCylinder;
    std::uint64_t head = (lba % perCylinder) / g.sectors;
    std::uint64_t sector = lba % g.sectors + 1;
    if (cylinder > 1023) {
        cylinder = 1023;
        head = g.heads - 1;
        sector = g.sectors;
    }
    return {static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(sector | ((cylinder >> 2) & 0xC0)),
            static_cast<std::uint8_t>(cylinder & 0xFF)};
}

Entry getEntry(const std::uint8_t* sector, int slot)
{
    const std::uint8_t* p = sector + kEntriesOffset + kEntrySize * static_cast<std::size_t>(slot);
    Entry e;
    e.status = p[0];
    e.system = p[4];
    e.start = get32(p + 8);
    e.count = get32(p + 12);
    return e;
}

void putEntry(std::uint8_t* sector, int slot, const Entry& e, std::uint64_t absStart, std::uint64_t absEnd,
              ChsGeometry geometry)
{
    std::uint8_t* p = sector + kEntriesOffset + kEntrySize * static_cast<std::size_t>(slot);
    const auto first = chsOf(absStart, geometry);
    const auto last = chsOf(absEnd, geometry);
    p[0] = e.status;
    std::copy(first.begin(), first.end(), p + 1);
    p[4] = e.system;
    std::copy(last.begin(), last.end(), p + 5);
    put32(p + 8, e.start);
    put32(p + 12, e.count);
}

bool isMarked(const std::uint8_t* sector)
{
    return std::all_of(sector + kMarkerOffset, sector + kMarkerOffset + 4, [](std::uint8_t b) { return b == 0xFF; });
}

bool isExtendedId(std::uint8_t system)
{
    return system == 0x05 || system == 0x0F || system == 0x85;
}

const std::array<std::uint8_t, kBootCodeSize>& defaultBootCode()
{
    return kBootCode;
}

std::uint32_t signatureFromSeconds(int seconds)
{
    return seconds > 0 ? static_cast<std::uint32_t>(seconds) : 60u;
}

void prepareSectorZero(std::uint8_t* sector, int secondsNow)
{
    if (sector[0] == 0) {
        // Not boot code of anyone's: ours goes in. The user information
        // block and the signature behind it stay, as on every other write.
        std::memset(sector, 0, kBootAreaEnd);
        std::memcpy(sector, kBootCode.data(), kBootCode.size());
    }
    if (get32(sector + kSignatureOffset) == 0)
        put32(sector + kSignatureOffset, signatureFromSeconds(secondsNow));
    std::memset(sector + kEntriesOffset, 0, 4 * kEntrySize);
    put16(sector + kMagicOffset, kMagic);
    std::memset(sector + kMarkerOffset, 0xFF, 4);
}

}  // namespace kx::mbr
