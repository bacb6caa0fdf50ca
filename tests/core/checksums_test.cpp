#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/Checksums.h"
#include "app/core/TavrinOpt.h"
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
