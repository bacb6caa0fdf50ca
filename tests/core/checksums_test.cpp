#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/checksums/ChecksumEngines.h"
#include "app/core/checksums/Checksums.h"
#include "app/core/firmware/TavrinOpt.h"
#include "core_test_files.h"

namespace {

using namespace core_test;

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// CRC-16/XMODEM a bit at a time, as a reference that shares no table.
std::uint16_t XmodemBitwise(const std::string& data, size_t count)
{
    std::uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[i]) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

TEST(CalcCrc16, CheckValueKeepsAllThirtyTwoBits)
{
    const std::string check = "123456789";
    EXPECT_EQ(CalcCrc16(Bytes(check), check.size()), 0x869031C3u);
    EXPECT_EQ(static_cast<std::int32_t>(CTavrinOpt::CalcCrc16(Bytes(check), check.size())), -2037370429);
    EXPECT_EQ(CalcCrc16(nullptr, 0), 0u);
}

TEST(CalcCrc16, HighHalfHoldsTheHighBytesOfTheTwoPreviousStates)
{
    const std::string data = RandomBytes(300, 7);
    for (size_t n : {1u, 2u, 3u, 17u, 300u}) {
        const std::uint32_t acc = CalcCrc16(Bytes(data), n);
        const std::uint32_t prev1 = n >= 1 ? XmodemBitwise(data, n - 1) >> 8 : 0;
        const std::uint32_t prev2 = n >= 2 ? XmodemBitwise(data, n - 2) >> 8 : 0;
        EXPECT_EQ(acc, prev2 << 24 | prev1 << 16 | XmodemBitwise(data, n)) << n;
    }
}

TEST(Cksum, TablesStartWithThePolynomials)
{
    const CksumTable msb = MakeCksumTable(true);
    EXPECT_EQ(msb[0], 0u);
    EXPECT_EQ(msb[1], 0x04C11DB7u);
    EXPECT_EQ(msb[255], 0xB1F740B4u);
    const CksumTable reflected = MakeCksumTable(false);
    EXPECT_EQ(reflected[1], 0x77073096u);
    EXPECT_EQ(reflected[255], 0x2D02EF8Du);
}

TEST(Cksum, CheckValue)
{
    const std::string check = "123456789";
    EXPECT_EQ(Cksum(Bytes(check), check.size(), MakeCksumTable(true)), 930766865u);
}

// Every engine continues any register exactly as the byte-at-a-time loop
// does: all lengths up to 4 KiB (every tail, every count of folded blocks),
// starts off the natural alignment, and registers that are not zero.
struct Engines {
    const char* name;
    checksum::Crc32Engine crc32;
    checksum::Crc16Engine crc16;
    bool (*available)();
};

class ChecksumEngine : public testing::TestWithParam<Engines> {
protected:
    void SetUp() override
    {
        if (!GetParam().available())
            GTEST_SKIP() << "this processor lacks the instructions of the " << GetParam().name << " engine";
    }
};

TEST_P(ChecksumEngine, AgreesWithTheByteLoopForEveryLengthUpTo4KiB)
{
    const std::string data = RandomBytes(4096 + 16, 11);
    const auto* bytes = Bytes(data);
    const Engines e = GetParam();
    for (size_t n = 0; n <= 4096; ++n) {
        const size_t start = n % 7;
        const std::uint32_t state32 = n * 0x9E3779B9u;
        const auto state16 = static_cast<std::uint16_t>(state32 >> 7);
        ASSERT_EQ(e.crc32(state32, bytes + start, n), checksum::Crc32Bytewise(state32, bytes + start, n)) << n;
        ASSERT_EQ(e.crc16(state16, bytes + start, n), checksum::Crc16Bytewise(state16, bytes + start, n)) << n;
    }
}

TEST_P(ChecksumEngine, AgreesWithTheByteLoopOnSeveralMiB)
{
    const std::string data = RandomBytes(3 * 1024 * 1024 + 77, 12);
    const Engines e = GetParam();
    EXPECT_EQ(e.crc32(0xFFFFFFFFu, Bytes(data), data.size()),
              checksum::Crc32Bytewise(0xFFFFFFFFu, Bytes(data), data.size()));
    EXPECT_EQ(e.crc16(0x1234, Bytes(data), data.size()), checksum::Crc16Bytewise(0x1234, Bytes(data), data.size()));
    // Long runs of one value, where a wrong fold constant cancels least.
    const std::string zeros(2 * 1024 * 1024, '\0'), ones(2 * 1024 * 1024 + 5, '\xFF');
    EXPECT_EQ(e.crc32(7, Bytes(zeros), zeros.size()), checksum::Crc32Bytewise(7, Bytes(zeros), zeros.size()));
    EXPECT_EQ(e.crc16(7, Bytes(ones), ones.size()), checksum::Crc16Bytewise(7, Bytes(ones), ones.size()));
}

INSTANTIATE_TEST_SUITE_P(AllEngines, ChecksumEngine,
                         testing::Values(Engines{"sliced", checksum::Crc32Sliced, checksum::Crc16Sliced,
                                                 [] { return true; }},
                                         Engines{"clmul", checksum::Crc32Clmul, checksum::Crc16Clmul,
                                                 checksum::ClmulAvailable},
                                         Engines{"wide", checksum::Crc32WideClmul, checksum::Crc16WideClmul,
                                                 checksum::WideClmulAvailable}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ChecksumChoice, TheFastestEngineTheProcessorRunsIsChosen)
{
    const bool wide = checksum::WideClmulAvailable(), clmul = checksum::ClmulAvailable();
    EXPECT_TRUE(clmul || !wide);
    EXPECT_EQ(checksum::BestCrc32(),
              wide ? checksum::Crc32WideClmul : clmul ? checksum::Crc32Clmul : checksum::Crc32Sliced);
    EXPECT_EQ(checksum::BestCrc16(),
              wide ? checksum::Crc16WideClmul : clmul ? checksum::Crc16Clmul : checksum::Crc16Sliced);
}

// The functions the upgrade calls give the original loops' values, the
// unmasked accumulator and the length bytes included.
TEST(Checksums, MatchTheByteAtATimeVersionsForEveryLengthAndOnMiBs)
{
    const std::string data = RandomBytes(4096, 13);
    const CksumTable table = MakeCksumTable(true);
    for (size_t n = 0; n <= data.size(); ++n) {
        ASSERT_EQ(CalcCrc16(Bytes(data), n), checksum::CalcCrc16Bytewise(0, Bytes(data), n)) << n;
        ASSERT_EQ(Cksum(Bytes(data), n, table), checksum::CksumBytewise(Bytes(data), n, table)) << n;
    }
    for (size_t size : {size_t{8} << 20, (size_t{5} << 20) + 3}) {
        const std::string big = RandomBytes(size, static_cast<unsigned>(size));
        EXPECT_EQ(CalcCrc16(Bytes(big), big.size()), checksum::CalcCrc16Bytewise(0, Bytes(big), big.size())) << size;
        EXPECT_EQ(Cksum(Bytes(big), big.size(), table), checksum::CksumBytewise(Bytes(big), big.size(), table))
            << size;
    }
}

TEST(Checksums, CksumHonoursAnyTableItIsGiven)
{
    const std::string data = RandomBytes(1000, 14);
    const CksumTable reflected = MakeCksumTable(false);
    EXPECT_EQ(Cksum(Bytes(data), data.size(), reflected), checksum::CksumBytewise(Bytes(data), data.size(), reflected));
    EXPECT_NE(Cksum(Bytes(data), data.size(), reflected), Cksum(Bytes(data), data.size(), MakeCksumTable(true)));
}

TEST(Checksums, CksumInPiecesEqualsCksumAtOnce)
{
    const std::string data = RandomBytes(300000, 15);
    const std::uint32_t whole = Cksum(Bytes(data), data.size(), MakeCksumTable(true));
    for (size_t piece : {1u, 15u, 4096u, 65537u}) {
        CksumStream stream;
        for (size_t at = 0; at < data.size(); at += piece)
            stream.Add(Bytes(data) + at, std::min(piece, data.size() - at));
        EXPECT_EQ(stream.Finish(), whole) << piece;
    }
    EXPECT_EQ(CksumStream().Finish(), Cksum(nullptr, 0, MakeCksumTable(true)));
}

class CksumAgainstCoreutils : public testing_support::TempMachine {};

// The length goes into the sum byte by byte: sizes around byte boundaries
// catch a wrong length loop.
TEST_F(CksumAgainstCoreutils, MatchesTheUtilityForManySizes)
{
    const CksumTable table = MakeCksumTable(true);
    const fs::path file = dir_.parent_path() / "data.bin";
    for (size_t size : {0u, 1u, 255u, 256u, 257u, 65535u, 65536u, 70001u}) {
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        WriteHostFile(file, data);
        EXPECT_EQ(Cksum(Bytes(data), data.size(), table), CoreutilsCksum(file, 0, size)) << size;
    }
}

}  // namespace
