#include <chrono>
#include <string>
#include <vector>

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
    EXPECT_EQ(Parse("CRCSUM=1\nSKIP=0\nKSIZE=3\n").nKSize, 0);
    // Lines without a key count and change nothing.
    const UpgradeFileHeader h = Parse("CRCSUM=1\nSKIP=3\nVERSION=2.1\n\nKSIZE=3\n");
    EXPECT_EQ(h.nKSize, 0);
    EXPECT_EQ(h.nHeaderLength, 9 + 7 + 12 + 1);
}

TEST_F(UpgradeHeaderTest, NumbersAreDigitsOnlyWithinTheirFieldsRange)
{
    EXPECT_EQ(Parse("CRCSUM=4294967295\n").nCrcSum, 0xFFFFFFFFu);
    EXPECT_EQ(Parse("CRCSUM=0\nSKIP=1023\n").nSkip, 1023);
    EXPECT_EQ(Parse("CRCSUM=1\nBSIZE=2147483647\n").nBSize, 2147483647);
    EXPECT_EQ(Parse("CRCSUM=1\nKSIZE=0001000000\n").nKSize, 1000000);  // leading zeros are digits
    // CR LF ends read as line feeds: their values are whole.
    EXPECT_EQ(Parse("CRCSUM=7\r\nSKIP=2\r\nKSIZE=3\r\n").nKSize, 3);

    struct Refused {
        std::string text;
        std::string problem;
    };
    const std::vector<Refused> refused = {
        {"CRCSUM=4294967296\n", "line 1: CRCSUM=4294967296 is beyond its range (0 to 4294967295)"},
        {"CRCSUM=4294967303\n", "line 1: CRCSUM=4294967303 is beyond"},
        {"CRCSUM=1\nKSIZE=4295967296\n", "line 2: KSIZE=4295967296 is beyond its range (0 to 2147483647)"},
        {"CRCSUM=1\nBSIZE=2147483648\n", "line 2: BSIZE=2147483648 is beyond"},
        {"CRCSUM=1\nRSIZE=99999999999999999999999\n", "line 2: RSIZE=99999999999999999999999 is beyond"},
        {"CRCSUM=1\nSKIP=99999999999\n", "line 2: SKIP=99999999999 is beyond its range (0 to 1023)"},
        {"CRCSUM=1\nSKIP=1024\n", "line 2: SKIP=1024 is beyond"},
        {"CRCSUM=1\nKSIZE=1000000abc\n", "line 2: KSIZE= must be followed by decimal digits only, not \"1000000abc\""},
        {"CRCSUM=1\nKSIZE=+1000000\n", "not \"+1000000\""},
        {"CRCSUM=1\nKSIZE=-16\n", "not \"-16\""},
        {"CRCSUM=1\nKSIZE= 1000000\n", "not \" 1000000\""},
        {"CRCSUM=1\nKSIZE=1000000 \n", "not \"1000000 \""},
        {std::string("CRCSUM=1\nKSIZE=1000000\0junk\n", 28), "not \"1000000\\x00junk\""},
        {"CRCSUM=1\nKSIZE=1e6\n", "not \"1e6\""},
        {"CRCSUM=1\nKSIZE=700\r\r\n", "not \"700\\x0D\""},
        {"CRCSUM=1\nKSIZE=\n", "line 2: KSIZE= has no number"},
        {"CRCSUM=1\nSKIP=3\nKSIZE=5\nKSIZE=1000000\n", "line 4: a second KSIZE= line"},
        {"CRCSUM=1\nSKIP=3\nSKIP=1\n", "line 3: a second SKIP= line"},
        {"CRCSUM=1\nSKIP=2\nCRCSUM=1\n", "line 3: a second CRCSUM= line"},
        {"CRCSUM=1\nSKIP=2\nBSIZE=7 KSIZE=9\n", "line 3: BSIZE= must be followed by decimal digits only"},
        {"CRCSUM=1\nSKIP=2\nNEWKSIZE=9\n", "line 3: KSIZE= is not at the start of the line"},
        {"KSIZE=9\nCRCSUM=5\n", "line 1: the first line must be the CRCSUM= line"},
        {"CRCSUM=1\nKSIZE=700", "line 2: a line with a key must end with a line feed within 1023 bytes"},
    };
    for (const Refused& r : refused) {
        const fs::path path = dir_.parent_path() / "refused.bin";
        WriteHostFile(path, r.text);
        UpgradeFileHeader header;
        std::string problem;
        EXPECT_EQ(ParseUpgradeHeaderFile(Wide(path).c_str(), header, &problem), kHeaderLineRefused) << r.text;
        EXPECT_NE(problem.find(r.problem), std::string::npos) << "[" << problem << "] for " << r.text;
        // The worker's check refuses it as any bad image, before a byte of the payload.
        EXPECT_EQ(CFileUpgradeOpt().CheckUpgradeFile(Wide(path).c_str(), header), kHeaderLineRefused) << r.text;
    }
}

TEST_F(UpgradeHeaderTest, ALineAloneIsCheckedAsInTheFile)
{
    UpgradeFileHeader h;
    HeaderKeysSeen seen = 0;
    EXPECT_EQ(ParseHeaderLine("BSIZE=7", h, &seen), "");
    EXPECT_EQ(h.nBSize, 7);
    EXPECT_EQ(ParseHeaderLine("no key here", h, &seen), "");
    EXPECT_EQ(ParseHeaderLine("BSIZE=8", h, &seen), "a second BSIZE= line");
    EXPECT_EQ(h.nBSize, 7);
    EXPECT_EQ(ParseHeaderLine("KSIZE=9 CRCSUM=5", h, &seen),
              "KSIZE= must be followed by decimal digits only, not \"9 CRCSUM=5\"");
    EXPECT_EQ(h.nKSize, 0);
    EXPECT_EQ(h.nCrcSum, 0u);
}

TEST_F(UpgradeHeaderTest, LongLinesAreReadInPiecesOfAtMost1023)
{
    // A line without a key is read in pieces, each counted as a line.
    UpgradeFileHeader h = Parse("CRCSUM=1\nSKIP=4\n" + std::string(2000, '#') + "\nBSIZE=5\n");
    EXPECT_EQ(h.nHeaderLength, 9 + 7 + 2001 + 8);
    EXPECT_EQ(h.nBSize, 5);
    h = Parse("CRCSUM=1\nSKIP=3\n" + std::string(2000, '#') + "\nBSIZE=5\n");
    EXPECT_EQ(h.nHeaderLength, 9 + 7 + 2001);
    EXPECT_EQ(h.nBSize, 0);
    // A key line cut by the reader would hand over part of its number.
    Parse("CRCSUM=1\nSKIP=2\nKSIZE=" + std::string(1020, '0') + "1\n", kHeaderLineRefused);
    Parse("CRCSUM=1\nSKIP=3\n" + std::string(1023, '#') + "KSIZE=5\n", kHeaderLineRefused);
}

// Whatever SKIP claims, no more than the largest header is read: a sparse
// file of gigabytes costs no more than a small one.
TEST_F(UpgradeHeaderTest, TheHeaderEndsAtItsLargestSizeWhateverTheFileHolds)
{
    const fs::path path = dir_.parent_path() / "huge.bin";
    const std::int64_t kLargest = (kMaxHeaderSkip + 1) * 1023;
    for (const std::string skip : {"1023", "99999999999", "2147483647"}) {
        WriteHostFile(path, "CRCSUM=1\nSKIP=" + skip + "\n");
        fs::resize_file(path, std::uintmax_t{5} << 30);
        UpgradeFileHeader header;
        std::string problem;
        const auto start = std::chrono::steady_clock::now();
        const int code = ParseUpgradeHeaderFile(Wide(path).c_str(), header, &problem);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(2)) << skip;
        EXPECT_LE(header.nHeaderLength, kLargest) << skip;
        if (skip == "1023") {
            EXPECT_EQ(code, kHeaderParsed);
            EXPECT_EQ(header.nHeaderLength, 9 + 10 + 1023 * 1022);
        } else {
            EXPECT_EQ(code, kHeaderLineRefused) << skip;
            EXPECT_EQ(problem.rfind("line 2: SKIP=" + skip + " is beyond", 0), 0u) << problem;
        }
        EXPECT_NE(CFileUpgradeOpt().CheckUpgradeFile(Wide(path).c_str(), header), 0) << skip;
    }
}

}  // namespace
