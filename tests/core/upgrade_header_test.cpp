#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/UpgradeHeader.h"
#include "core_test_files.h"

namespace {

using namespace core_test;

class UpgradeHeaderTest : public testing_support::TempMachine {
protected:
    UpgradeFileHeader Parse(const std::string& bytes, int expected = kHeaderParsed)
    {
        const fs::path path = dir_.parent_path() / "image.bin";
        WriteHostFile(path, bytes);
        UpgradeFileHeader header;
        EXPECT_EQ(CFileUpgradeOpt().ParseUpgradeHeader(Wide(path).c_str(), header), expected);
        return header;
    }
};

TEST_F(UpgradeHeaderTest, FiveKeysOnFiveLines)
{
    const std::string header = "CRCSUM=123\nSKIP=4\nBSIZE=10\nKSIZE=20\nRSIZE=30\n";
    const UpgradeFileHeader h = Parse(header + "KSIZE=99\npayload");
    EXPECT_EQ(h.nCrcSum, 123u);
    EXPECT_EQ(h.nSkip, 4);
    EXPECT_EQ(h.nBSize, 10);
    EXPECT_EQ(h.nKSize, 20);
    EXPECT_EQ(h.nRSize, 30);
    EXPECT_EQ(h.nHeaderLength, static_cast<std::int64_t>(header.size()));
    EXPECT_EQ(h.nFirstLineLength, 11);

    const std::int64_t H = static_cast<std::int64_t>(header.size());
    EXPECT_EQ(KernelImageSpan(h).nOffset, H + 10);
    EXPECT_EQ(KernelImageSpan(h).nLength, 20);
    EXPECT_EQ(RootfsImageSpan(h).nOffset, H + 30);
    EXPECT_EQ(RootfsImageSpan(h).nLength, 30);
    EXPECT_EQ(ChecksumSpan(h).nOffset, 11);
    EXPECT_EQ(ChecksumSpan(h).nLength, H + 60 - 11);
}

TEST_F(UpgradeHeaderTest, WithoutSkipLineOnlyTwoLinesAreRead)
{
    const UpgradeFileHeader h = Parse("CRCSUM=1\nBSIZE=2\nKSIZE=3\nRSIZE=4\n");
    EXPECT_EQ(h.nBSize, 2);
    EXPECT_EQ(h.nKSize, 0);
    EXPECT_EQ(h.nRSize, 0);
    EXPECT_EQ(h.nHeaderLength, 9 + 8);
}

TEST_F(UpgradeHeaderTest, SkipTakesEffectForTheLinesAfterIt)
{
    // SKIP=2 read on line 1 allows line 2 only.
    EXPECT_EQ(Parse("CRCSUM=1\nSKIP=2\nKSIZE=3\nRSIZE=4\n").nRSize, 0);
    // A SKIP line read late still stops the header where it says.
    const UpgradeFileHeader h = Parse("CRCSUM=1\nSKIP=3\nSKIP=1\nKSIZE=3\n");
    EXPECT_EQ(h.nSkip, 1);
    EXPECT_EQ(h.nKSize, 0);
    EXPECT_EQ(h.nHeaderLength, 9 + 7 + 7);
}

TEST_F(UpgradeHeaderTest, NumbersConvertAsTheKeysSay)
{
    EXPECT_EQ(Parse("CRCSUM=4294967295\n").nCrcSum, 0xFFFFFFFFu);
    EXPECT_EQ(Parse("CRCSUM=4294967303\n").nCrcSum, 7u);  // low 32 bits kept
    EXPECT_EQ(Parse("CRCSUM= +42abc\n").nCrcSum, 42u);
    EXPECT_EQ(Parse("CRCSUM=1\nSKIP=99999999999\n").nSkip, INT_MAX);
    EXPECT_EQ(Parse("CRCSUM=1\nSKIP=1\nBSIZE=4294967295\n").nBSize, 0);  // SKIP=1 stops before BSIZE
    EXPECT_EQ(Parse("CRCSUM=1\nBSIZE=4294967295\n").nBSize, -1);
    EXPECT_EQ(Parse("CRCSUM=1\nBSIZE=-16\n").nBSize, -16);
    EXPECT_EQ(Parse("CRCSUM=1\nBSIZE=99999999999999999999999\n").nBSize, -1);  // saturated, then cut
}

TEST_F(UpgradeHeaderTest, FirstKeyInTheLineWinsAndValueFollowsTheKeyLength)
{
    UpgradeFileHeader h;
    ParseHeaderLine("BSIZE=7 KSIZE=9", h);
    EXPECT_EQ(h.nBSize, 7);
    EXPECT_EQ(h.nKSize, 0);
    // CRCSUM is tried first and its value read from position 7, " CRCSUM=5".
    h.nCrcSum = 77;
    ParseHeaderLine("KSIZE=9 CRCSUM=5", h);
    EXPECT_EQ(h.nCrcSum, 0u);
    EXPECT_EQ(h.nKSize, 0);
    ParseHeaderLine("no key here", h);
    EXPECT_EQ(h.nBSize, 7);
}

TEST_F(UpgradeHeaderTest, CarriageReturnsReadAsPartOfTheLineEnd)
{
    const UpgradeFileHeader h = Parse("CRCSUM=1\r\nSKIP=2\r\nKSIZE=3\r\n");
    EXPECT_EQ(h.nKSize, 3);
    EXPECT_EQ(h.nFirstLineLength, 9);
    EXPECT_EQ(h.nHeaderLength, 9 + 7 + 8);
}

TEST_F(UpgradeHeaderTest, LongLinesAreReadInPiecesOfAtMost1023)
{
    const UpgradeFileHeader h = Parse("CRCSUM=1" + std::string(2000, ' ') + "\nBSIZE=5\n");
    EXPECT_EQ(h.nCrcSum, 1u);
    EXPECT_EQ(h.nFirstLineLength, 1023);
    // The rest of the long line counts as line 1, so BSIZE is never reached.
    EXPECT_EQ(h.nHeaderLength, 2009);
    EXPECT_EQ(h.nBSize, 0);
}

}  // namespace
