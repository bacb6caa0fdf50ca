// Sector 0 as the label writes it, and the CHS bytes of its entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "labels/pedmsdos_sector.h"

namespace {

using namespace kx::mbr;

TEST(LabelChs, EncodesCylinderHighBitsAndSaturatesBeyondCylinder1023)
{
    const ChsGeometry g{255, 63};
    EXPECT_EQ(chsOf(0, g), (std::array<std::uint8_t, 3>{0, 1, 0}));
    EXPECT_EQ(chsOf(63, g), (std::array<std::uint8_t, 3>{1, 1, 0}));
    // Cylinder 300 = 0x12C: its two high bits go to the top of the sector byte.
    EXPECT_EQ(chsOf(300ull * 255 * 63 + 2 * 63 + 4, g), (std::array<std::uint8_t, 3>{2, 5 | 0x40, 0x2C}));
    EXPECT_EQ(chsOf(1024ull * 255 * 63, g), (std::array<std::uint8_t, 3>{0xFE, 0xFF, 0xFF}));
    // A geometry nobody can encode falls back to 255/63.
    EXPECT_EQ(chsOf(63, ChsGeometry{0, 0}), chsOf(63, g));
}

TEST(LabelSectorZero, BlankSectorGetsBootCodeSignatureMarkerAndMagic)
{
    Sector s{};
    prepareSectorZero(s.data(), 0);  // second 0 must not leave the signature at 0
    EXPECT_TRUE(std::equal(defaultBootCode().begin(), defaultBootCode().end(), s.begin()));
    EXPECT_TRUE(std::all_of(s.begin() + 75, s.begin() + 436, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(isMarked(s.data()));
    EXPECT_NE(get32(s.data() + 440), 0u);
    EXPECT_EQ(s[510], 0x55);
    EXPECT_EQ(s[511], 0xAA);

    Sector later{};
    prepareSectorZero(later.data(), 17);
    EXPECT_EQ(get32(later.data() + 440), 17u);
}

TEST(LabelSectorZero, ExistingBootAreaUserBlockAndSignatureAreKept)
{
    Sector s{};
    for (size_t i = 0; i < 446; ++i)
        s[i] = static_cast<std::uint8_t>(i * 7 + 1);
    put32(s.data() + 440, 0xCAFEF00D);
    std::memset(s.data() + 446, 0x5A, 64);  // old entries
    const Sector before = s;

    prepareSectorZero(s.data(), 42);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 436, s.begin()));
    EXPECT_TRUE(isMarked(s.data()));
    EXPECT_EQ(get32(s.data() + 440), 0xCAFEF00Du);
    EXPECT_EQ(s[444], before[444]);
    EXPECT_EQ(s[445], before[445]);
    EXPECT_TRUE(std::all_of(s.begin() + 446, s.begin() + 510, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(magicOf(s.data()), kMagic);
}

TEST(LabelSectorZero, BootCodeGoesInWithoutLosingTheUserBlock)
{
    // A user block written to a blank disk comes before any table.
    Sector s{};
    std::memset(s.data() + 216, 'u', 216);
    std::memset(s.data() + 432, 0xFF, 4);
    put32(s.data() + 440, 0x01020304);
    prepareSectorZero(s.data(), 5);
    EXPECT_TRUE(std::equal(defaultBootCode().begin(), defaultBootCode().end(), s.begin()));
    EXPECT_TRUE(std::all_of(s.begin() + 216, s.begin() + 432, [](std::uint8_t b) { return b == 'u'; }));
    EXPECT_EQ(get32(s.data() + 440), 0x01020304u);
}

TEST(LabelBootCode, PrintsATerminatedTextInsideItsBytes)
{
    const auto& code = defaultBootCode();
    // mov si, imm16 points into the stub as loaded at 0x7C00.
    ASSERT_EQ(code[4], 0xBE);
    const unsigned text = get16(code.data() + 5) - 0x7C00u;
    ASSERT_LT(text, code.size());
    const auto end = std::find(code.begin() + text, code.end(), 0);
    ASSERT_NE(end, code.end());
    EXPECT_GT(end - (code.begin() + text), 10);
    EXPECT_TRUE(std::all_of(code.begin() + text, end, [](std::uint8_t c) { return c >= 0x20 || c == '\r' || c == '\n'; }));
}

}  // namespace
