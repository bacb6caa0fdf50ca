// Region buffers: large blocks are reused, never handed to two buffers at
// once, kept only up to a bound, and let go on request.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/firmware/ByteBuffer.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

class ByteBufferTest : public testing::Test {
protected:
    void SetUp() override { ReleaseCachedBuffers(); }
    void TearDown() override { ReleaseCachedBuffers(); }
};

TEST_F(ByteBufferTest, ALargeBlockFreedServesTheNextBufferOfItsSizeOnly)
{
    const std::uint8_t* first = nullptr;
    {
        ByteBuffer region;
        region.resize(4 * kMiB);
        first = region.data();
    }
    EXPECT_EQ(CachedBufferBytes(), 4 * kMiB);
    ByteBuffer other;
    other.resize(2 * kMiB);
    EXPECT_NE(other.data(), first);
    ByteBuffer again, second;
    again.resize(4 * kMiB);
    second.resize(4 * kMiB);
    EXPECT_EQ(again.data(), first);
    EXPECT_NE(second.data(), again.data()) << "one block in two live buffers";
    EXPECT_EQ(CachedBufferBytes(), 0u);
}

TEST_F(ByteBufferTest, SmallBuffersAreNeverKeptAndTheKeptTotalIsBounded)
{
    {
        ByteBuffer sector;
        sector.resize(512);
    }
    EXPECT_EQ(CachedBufferBytes(), 0u);
    {
        std::vector<ByteBuffer> many(6);
        for (auto& b : many)
            b.resize(32 * kMiB);
    }
    EXPECT_GT(CachedBufferBytes(), 0u);
    EXPECT_LE(CachedBufferBytes(), 40 * kMiB);
    ReleaseCachedBuffers();
    EXPECT_EQ(CachedBufferBytes(), 0u);
}

TEST_F(ByteBufferTest, ValuesGivenExplicitlyAreWritten)
{
    {
        ByteBuffer dirty;
        dirty.assign(2 * kMiB, 0xEE);
    }
    ByteBuffer zeros;
    zeros.assign(2 * kMiB, 0);  // the same block, reused
    EXPECT_EQ(std::count(zeros.begin(), zeros.end(), 0), static_cast<std::ptrdiff_t>(2 * kMiB));
}

}  // namespace
