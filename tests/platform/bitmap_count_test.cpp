// The clear-bit count behind NTFS free space, against a count a bit at a
// time, wherever the bitmap starts and however many bytes it has.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "volumes/bitmap_count.h"

namespace {

std::uint64_t clearBitsOneByOne(const std::uint8_t* p, std::size_t bytes)
{
    std::uint64_t clear = 0;
    for (std::size_t i = 0; i < bytes * 8; ++i)
        clear += !(p[i / 8] >> (i % 8) & 1);
    return clear;
}

TEST(BitmapCount, MatchesABitAtATimeAtEveryStartAndLength)
{
    std::mt19937 random(77);
    std::vector<std::uint8_t> bytes(300);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    for (std::size_t start = 0; start < 16; ++start)
        for (std::size_t length = 0; start + length <= bytes.size(); length += 1 + length / 8)
            ASSERT_EQ(win::detail::countClearBits(bytes.data() + start, length),
                      clearBitsOneByOne(bytes.data() + start, length))
                << "start " << start << ", " << length << " bytes";
}

TEST(BitmapCount, EmptyFullAndLargeMaps)
{
    std::vector<std::uint8_t> map((1 << 20) + 13, 0);
    EXPECT_EQ(win::detail::countClearBits(map.data(), map.size()), map.size() * 8);
    EXPECT_EQ(win::detail::countClearBits(map.data(), 0), 0u);
    std::fill(map.begin(), map.end(), 0xFF);
    EXPECT_EQ(win::detail::countClearBits(map.data() + 1, map.size() - 1), 0u);
    map[5] = 0x7F;               // one clear bit in the words
    map[map.size() - 1] = 0xFE;  // and one in the tail
    EXPECT_EQ(win::detail::countClearBits(map.data() + 3, map.size() - 3), 2u);
}

}  // namespace
