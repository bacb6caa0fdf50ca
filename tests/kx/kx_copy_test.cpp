#include <gtest/gtest.h>

#include "kx_fixture.h"

namespace kx_test {
namespace {

constexpr size_t kChunk = 130942;

std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

using KxCopy = KxTest;

TEST_F(KxCopy, EmptySourceGivesEmptyDestination)
{
    writeFile(m().driveC() / "empty.bin", "");
    EXPECT_EQ(kx_copy_file_sync("C:\\empty.bin", "C:\\empty-copy.bin"), 1);
    ASSERT_TRUE(fs::exists(m().driveC() / "empty-copy.bin"));
    EXPECT_EQ(fs::file_size(m().driveC() / "empty-copy.bin"), 0u);
}

TEST_F(KxCopy, CopiesAcrossChunkBoundaries)
{
    const fs::path source = dir_.parent_path() / "source.bin";
    const fs::path target = m().driveC() / "copies" / "target.bin";
    fs::create_directories(target.parent_path());
    for (size_t size : {size_t{1}, kChunk, kChunk + 1, 2 * kChunk + 777}) {
        SCOPED_TRACE(size);
        const std::string bytes = pattern(size);
        writeFile(source, bytes);
        ASSERT_EQ(kx_copy_file_sync(source.c_str(), "C:\\copies\\target.bin"), 1);
        EXPECT_EQ(readFile(target), bytes);
    }
}

TEST_F(KxCopy, ReplacesALongerDestination)
{
    writeFile(m().driveC() / "short.bin", "short");
    writeFile(m().driveC() / "long.bin", std::string(3 * kChunk, 'x'));
    EXPECT_EQ(kx_copy_file_sync("C:\\short.bin", "C:\\long.bin"), 1);
    EXPECT_EQ(readFile(m().driveC() / "long.bin"), "short");
}

TEST_F(KxCopy, MissingSourceFailsAndIsLogged)
{
    startLog();
    EXPECT_EQ(kx_copy_file_sync("C:\\missing.bin", "C:\\never.bin"), 0);
    EXPECT_FALSE(fs::exists(m().driveC() / "never.bin"));
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_copy_file_sync:",
                               "]: Fail to open read file: C:\\missing.bin"));
}

TEST_F(KxCopy, UncreatableDestinationFailsAndIsLogged)
{
    writeFile(m().driveC() / "data.bin", "data");
    startLog();
    EXPECT_EQ(kx_copy_file_sync("C:\\data.bin", "C:\\no-such-folder\\out.bin"), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_copy_file_sync:",
                               "]: Fail to create read file: C:\\data.bin"));
}

}  // namespace
}  // namespace kx_test
