// The pool's bytes on their own: cursors, adding, mixing, taking out.
#include <array>
#include <cstdint>
#include <set>

#include <gtest/gtest.h>

#include "common/kx_random_pool.h"

namespace kx_test {
namespace {

using Bytes = std::array<std::uint8_t, kx::kRandomPoolSize>;

struct Pool {
    Bytes bytes{};
    kx::RandomPool pool{bytes.data()};
};

// Slices of the pool that hold the same bytes.
int equalSlices(const Bytes& bytes, std::size_t slice)
{
    int equal = 0;
    for (std::size_t a = 0; a + slice <= bytes.size(); a += slice)
        for (std::size_t b = a + slice; b + slice <= bytes.size(); b += slice)
            equal += std::equal(bytes.begin() + a, bytes.begin() + a + slice, bytes.begin() + b);
    return equal;
}

TEST(RandomPoolBytes, AddingWrapsAfterTheLastByteAndAddsModulo256)
{
    Pool p;
    p.pool.mixing = false;
    for (std::size_t i = 0; i < kx::kRandomPoolSize + 1; ++i)
        p.pool.addByte(200);
    EXPECT_EQ(p.bytes[0], 144) << "the first byte took 200 twice";
    EXPECT_EQ(p.bytes[1], 200);
    EXPECT_EQ(p.bytes[319], 200);
    EXPECT_EQ(p.pool.writeCursor(), 1u);

    p.pool.addInt32(0x04030201);
    EXPECT_EQ(p.bytes[1], 201) << "lowest byte first";
    EXPECT_EQ(p.bytes[4], 204);
}

TEST(RandomPoolBytes, AddingMixesAtEveryEighthByteOnly)
{
    Pool p;
    p.pool.addByte(0);  // cursor 0: mixes
    EXPECT_NE(p.bytes, Bytes{});
    for (int i = 1; i < 8; ++i) {
        const Bytes before = p.bytes;
        p.pool.addByte(5);
        Bytes expected = before;
        expected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(before[static_cast<std::size_t>(i)] + 5);
        EXPECT_EQ(p.bytes, expected) << "cursor " << i;
    }
    const Bytes before = p.bytes;
    p.pool.addByte(0);  // cursor 8
    int changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i)
        changed += before[i] != p.bytes[i];
    EXPECT_GT(changed, 300);
}

TEST(RandomPoolBytes, EveryHashMixesEveryStepWithAFreshDigest)
{
    for (auto [hash, step] : {std::pair{kx::PoolHash::Ripemd160, 20u}, std::pair{kx::PoolHash::Sha1, 20u},
                              std::pair{kx::PoolHash::Whirlpool, 64u}}) {
        Pool p;
        p.pool.hash = hash;
        p.pool.mix();
        // One digest XORed everywhere would leave equal slices; each step
        // hashes the pool as the earlier steps left it.
        EXPECT_EQ(equalSlices(p.bytes, step), 0) << static_cast<int>(hash);
        int zeros = 0;
        for (auto b : p.bytes)
            zeros += b == 0;
        EXPECT_LT(zeros, 8) << "every step reached, up to the last byte";
    }
}

TEST(RandomPoolBytes, TakingOutWrapsAndInvertingFlipsEveryBit)
{
    Pool p;
    for (std::size_t i = 0; i < p.bytes.size(); ++i)
        p.bytes[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, 300> first{};
    p.pool.copyOut(first.data(), first.size());
    std::array<std::uint8_t, 40> second{};
    p.pool.copyOut(second.data(), second.size());
    EXPECT_EQ(second[19], 319 & 0xFF);
    EXPECT_EQ(second[20], 0) << "read cursor wraps after 319";
    EXPECT_EQ(p.pool.readCursor(), 20u);

    p.pool.invert();
    EXPECT_EQ(p.bytes[0], 0xFF);
    EXPECT_EQ(p.bytes[7], 0xF8);
    std::array<std::uint8_t, 2> mask{0x0F, 0x0F};
    p.pool.xorOut(mask.data(), mask.size());
    EXPECT_EQ(mask[0], 0x0F ^ 0xEB) << "byte 20, inverted";
}

}  // namespace
}  // namespace kx_test
