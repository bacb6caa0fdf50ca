#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "core_test_files.h"

namespace {

using namespace core_test;

class FileUpgradeOptTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        work_ = dir_.parent_path();
        scratch_ = work_ / "scratch";
        fs::create_directories(scratch_);
        image_ = work_ / "windows.bin";
        good_.boot = RandomBytes(3000, 1);
        good_.kernel = RandomBytes(70000, 2);
        good_.rootfs = RandomBytes(130000, 3);
        good_.trailer = "trailing bytes nobody reads";
    }
    int Handle() { return opt_.HandleUpgradeFile(Wide(image_).c_str(), Wide(scratch_).c_str()); }
    int Check()
    {
        UpgradeFileHeader header;
        return opt_.CheckUpgradeFile(Wide(image_).c_str(), header);
    }
    bool NothingExtracted() const { return fs::is_empty(scratch_); }
    // The parts as regions of the given sizes take them.
    int ReadParts(std::uint32_t kernelRegion, std::uint32_t rootfsRegion)
    {
        kernel_ = {UPGRADE_TYPE_KERNEL, kernelRegion, &kernelBytes_};
        rootfs_ = {UPGRADE_TYPE_ROOTFS, rootfsRegion, &rootfsBytes_};
        UpgradeFileHeader header;
        return opt_.ReadVerifiedParts(Wide(image_).c_str(), header, kernel_, rootfs_);
    }
    static std::string Text(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

    CFileUpgradeOpt opt_;
    CFileUpgradeOpt::RegionPart kernel_, rootfs_;
    ByteBuffer kernelBytes_, rootfsBytes_;
    FirmwareImage good_;
    fs::path work_, scratch_, image_;
};

TEST_F(FileUpgradeOptTest, GoodImageVerifiesAndSplitsIntoExactFiles)
{
    good_.Write(image_);
    UpgradeFileHeader header;
    ASSERT_EQ(opt_.CheckUpgradeFile(Wide(image_).c_str(), header), 0);
    // The header's value is what the utility gives over the checksum span.
    const UpgradeFileSpan span = ChecksumSpan(header);
    EXPECT_EQ(header.nCrcSum, CoreutilsCksum(image_, static_cast<std::uint64_t>(span.nOffset),
                                             static_cast<std::uint64_t>(span.nLength)));

    WriteHostFile(scratch_ / "kernel", std::string(500000, 'x'));  // an older, longer file is replaced
    ASSERT_EQ(Handle(), kUpgradeFileReady);
    EXPECT_EQ(ReadHostFile(scratch_ / "kernel"), good_.kernel);
    EXPECT_EQ(ReadHostFile(scratch_ / "rootfs"), good_.rootfs);
}

TEST_F(FileUpgradeOptTest, ExtraHeaderLinesAreSkippedAndCounted)
{
    good_.extraLines = "VERSION=3\nNOTE=anything\n";
    good_.Write(image_);
    ASSERT_EQ(Handle(), kUpgradeFileReady);
    EXPECT_EQ(ReadHostFile(scratch_ / "kernel"), good_.kernel);
    EXPECT_EQ(ReadHostFile(scratch_ / "rootfs"), good_.rootfs);
}

TEST_F(FileUpgradeOptTest, AnyChangedByteInTheSpanFailsAndTheTrailerDoesNot)
{
    good_.extraLines = "NOTE=abc\n";
    good_.Write(image_);
    const std::string original = ReadHostFile(image_);
    const size_t firstLine = original.find('\n') + 1;
    const size_t payload = firstLine + good_.HeaderAfterFirstLine().size();
    const size_t spanEnd = payload + good_.boot.size() + good_.kernel.size() + good_.rootfs.size();
    struct Case {
        const char* where;
        size_t at;
        int expected;
    };
    for (const Case& c : {Case{"header line", original.find("NOTE=abc") + 5, 1}, Case{"boot bytes", payload + 5, 1},
                          Case{"kernel", payload + good_.boot.size() + 100, 1}, Case{"last rootfs byte", spanEnd - 1, 1},
                          Case{"trailer", spanEnd + 3, 0}}) {
        std::string bytes = original;
        bytes[c.at] = static_cast<char>(bytes[c.at] ^ 0x20);
        WriteHostFile(image_, bytes);
        EXPECT_EQ(Check(), c.expected) << c.where;
        EXPECT_EQ(ReadParts(1 << 20, 1 << 20), c.expected) << c.where << ", read into the regions";
    }
    EXPECT_TRUE(NothingExtracted());
}

// The parts read for their regions: cut to a region smaller than the part,
// zero-padded in a larger one, and the whole part summed either way.
TEST_F(FileUpgradeOptTest, PartsReadForTheirRegionsAreVerifiedWhole)
{
    good_.Write(image_);
    ASSERT_EQ(ReadParts(100000, 65536), 0);
    EXPECT_EQ(Text(kernelBytes_), good_.kernel + std::string(100000 - good_.kernel.size(), '\0'));
    EXPECT_EQ(Text(rootfsBytes_), good_.rootfs.substr(0, 65536));
    EXPECT_EQ(kernel_.nImageBytes, good_.kernel.size());
    EXPECT_EQ(rootfs_.nImageBytes, 65536u);

    std::string bytes = ReadHostFile(image_);
    const size_t lastRootfsByte = bytes.size() - good_.trailer.size() - 1;
    bytes[lastRootfsByte] = static_cast<char>(bytes[lastRootfsByte] ^ 1);  // beyond what the region takes
    WriteHostFile(image_, bytes);
    EXPECT_EQ(ReadParts(100000, 65536), 1);
    WriteHostFile(image_, bytes.substr(0, lastRootfsByte));
    EXPECT_EQ(ReadParts(100000, 65536), kFileTransferShort);
    EXPECT_EQ(ReadParts(100000, 1 << 20), kFileTransferShort);
}

// The span is summed through a buffer far smaller than it: a changed byte
// on either side of a piece boundary, or in the last short piece, is seen.
TEST_F(FileUpgradeOptTest, ImagesLargerThanTheReadPiecesVerifyWhole)
{
    constexpr size_t kPiece = kCksumReadPiece;
    good_.kernel = RandomBytes(2 * kPiece + 3, 4);
    good_.rootfs = RandomBytes(4 * kPiece + 9, 5);
    good_.Write(image_);
    ASSERT_EQ(Check(), 0);
    const std::string original = ReadHostFile(image_);
    const size_t spanStart = original.find('\n') + 1;
    for (size_t at : {spanStart + kPiece - 1, spanStart + kPiece, spanStart + 3 * kPiece + 17,
                      original.size() - good_.trailer.size() - 1}) {
        std::string bytes = original;
        bytes[at] = static_cast<char>(bytes[at] ^ 1);
        WriteHostFile(image_, bytes);
        EXPECT_EQ(Check(), 1) << at;
    }

    const fs::path file = work_ / "span.bin";
    const std::string data = RandomBytes(3 * kPiece + 100, 6);
    WriteHostFile(file, data);
    std::uint32_t sum = 0;
    ASSERT_EQ(opt_.CksumUpgradeFile(Wide(file).c_str(), 37, 3 * kPiece + 50, sum), 0);
    EXPECT_EQ(sum, CoreutilsCksum(file, 37, 3 * kPiece + 50));
    EXPECT_EQ(opt_.CksumUpgradeFile(Wide(file).c_str(), 51, 3 * kPiece + 50, sum), kFileTransferShort);
    EXPECT_EQ(opt_.CksumUpgradeFile(Wide(work_ / "none").c_str(), 0, 1, sum), kFileNotOpened);
}

// Bad images: each is refused with 1000 and nothing is extracted, and the
// check step says why.
TEST_F(FileUpgradeOptTest, BadImagesAreRefused)
{
    const std::string goodText = [&] {
        good_.Write(image_);
        return ReadHostFile(image_);
    }();
    const size_t spanEnd = goodText.size() - good_.trailer.size();
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = goodText;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    struct Case {
        const char* what;
        std::string bytes;
        int checkCode;
    };
    FirmwareImage crlf = good_;
    crlf.lineEnd = "\r\n";
    const std::string crlfText = [&] {
        crlf.Write(image_);
        return ReadHostFile(image_);
    }();
    const std::vector<Case> cases = {
        {"empty", "", kHeaderSizesRefused},
        {"header only", "CRCSUM=4294967295\n", kHeaderSizesRefused},
        {"truncated inside rootfs", goodText.substr(0, spanEnd - 1), kFileTransferShort},
        {"kernel size beyond the file", replaced("KSIZE=70000", "KSIZE=2147483647"), kFileTransferShort},
        {"skip of many lines", replaced("SKIP=4", "SKIP=1000"), kFileTransferShort},
        {"skip of thousands", replaced("SKIP=4", "SKIP=5000"), kHeaderLineRefused},
        {"negative boot size", replaced("BSIZE=3000", "BSIZE=-3000"), kHeaderLineRefused},
        {"kernel size beyond 32 bits", replaced("KSIZE=70000", "KSIZE=4294967295"), kHeaderLineRefused},
        {"sizes past 32-bit offsets",
         replaced("BSIZE=3000\nKSIZE=70000\nRSIZE=130000", "BSIZE=2147483647\nKSIZE=2147483647\nRSIZE=2147483647"),
         kHeaderSizesRefused},
        {"wrong CRCSUM", replaced(goodText.substr(0, goodText.find('\n')), "CRCSUM=12345"), 1},
        {"CRLF line ends", crlfText, 1},
    };
    for (const Case& c : cases) {
        WriteHostFile(image_, c.bytes);
        EXPECT_EQ(Check(), c.checkCode) << c.what;
        EXPECT_EQ(Handle(), kUpgradeFileNotVerified) << c.what;
        EXPECT_TRUE(NothingExtracted()) << c.what;
    }

    fs::remove(image_);
    EXPECT_EQ(Check(), kHeaderNoSuchFile);
    EXPECT_EQ(Handle(), kUpgradeFileNotVerified);
}

// Header numbers read loosely would let an image verify with sizes other
// than its text says: each is refused even when the checksum matches the span
// the loose reading describes, and nothing is extracted.
TEST_F(FileUpgradeOptTest, LooseNumbersAreRefusedEvenWithAMatchingChecksum)
{
    struct Case {
        std::string ksize;  // the KSIZE line's value as written
        std::int64_t read;  // what a loose reader takes it for
    };
    const std::vector<Case> cases = {
        {"4295967296", 1000000}, {"1000000abc", 1000000}, {"+1000000", 1000000}, {" 1000000", 1000000},
        {std::string("1000000\0x", 9), 1000000}, {"1e6", 1},
    };
    // The window's check shows its checksum box; the log names the line.
    fs::create_directories(work_ / "logs");
    CComnLog::GetInstance().Init(true, Wide(work_ / "logs"));
    for (const Case& c : cases) {
        std::string rest = "SKIP=4\nBSIZE=0\nKSIZE=" + c.ksize + "\nRSIZE=100\n" +
                           RandomBytes(static_cast<size_t>(c.read) + 100, 9);
        const fs::path restFile = work_ / "rest.bin";
        WriteHostFile(restFile, rest);
        const std::uint32_t crc = CoreutilsCksum(restFile, 0, rest.size());
        WriteHostFile(image_, "CRCSUM=" + std::to_string(crc) + "\n" + rest);
        EXPECT_EQ(Check(), kHeaderLineRefused) << c.ksize;
        EXPECT_EQ(ReadParts(1 << 22, 1 << 20), kHeaderLineRefused) << c.ksize;
        EXPECT_EQ(Handle(), kUpgradeFileNotVerified) << c.ksize;
        EXPECT_TRUE(NothingExtracted()) << c.ksize;
    }
    const std::string log = ComnLogText();
    CComnLog::GetInstance().Init(false, u"");
    EXPECT_NE(log.find("upgrade file header refused! pFilePath: " + image_.string() +
                       ", line 4: KSIZE=4295967296 is beyond its range (0 to 2147483647)"),
              std::string::npos)
        << log;
    // A checksum beyond 32 bits is no other checksum.
    good_.Write(image_);
    std::string text = ReadHostFile(image_);
    const size_t end = text.find('\n');
    const std::uint64_t crc = std::stoull(text.substr(7, end - 7));
    WriteHostFile(image_, "CRCSUM=" + std::to_string(crc + (std::uint64_t{1} << 32)) + text.substr(end));
    EXPECT_EQ(Check(), kHeaderLineRefused);
    EXPECT_EQ(Handle(), kUpgradeFileNotVerified);
    EXPECT_TRUE(NothingExtracted());
}

TEST_F(FileUpgradeOptTest, ExtractionFailuresNameThePart)
{
    good_.Write(image_);
    EXPECT_EQ(opt_.HandleUpgradeFile(Wide(image_).c_str(), Wide(work_ / "no-folder").c_str()), kKernelFileNotWritten);
    fs::create_directory(scratch_ / "rootfs");  // a folder where the file should go
    EXPECT_EQ(Handle(), kRootfsFileNotWritten);
    EXPECT_EQ(ReadHostFile(scratch_ / "kernel"), good_.kernel);
}

TEST_F(FileUpgradeOptTest, RawFileReadsAndWrites)
{
    const std::u16string path = Wide(work_ / "file.bin");
    std::uint32_t count = 99;
    EXPECT_EQ(opt_.WriteUpgradeFile(path.c_str(), reinterpret_cast<const std::uint8_t*>("abcdef"), 6, &count), 0);
    EXPECT_EQ(count, 6u);

    ByteBuffer buffer;
    EXPECT_EQ(opt_.ReadUpgradeFile(path.c_str(), 2, buffer, 3, &count), 0);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "cde");
    EXPECT_EQ(opt_.ReadUpgradeFile(path.c_str(), 4, buffer, 3, &count), kFileTransferShort);
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(opt_.ReadUpgradeFile(Wide(work_ / "none").c_str(), 0, buffer, 1, &count), kFileNotOpened);
    EXPECT_EQ(opt_.WriteUpgradeFile(Wide(work_ / "none" / "x").c_str(), nullptr, 0, nullptr), kFileNotOpened);
    const auto holds = [&](const char* bytes, std::uint32_t n, const fs::path& file) {
        return opt_.FileHolds(Wide(file).c_str(), reinterpret_cast<const std::uint8_t*>(bytes), n);
    };
    EXPECT_TRUE(holds("abcdef", 6, work_ / "file.bin"));
    EXPECT_FALSE(holds("abcdeg", 6, work_ / "file.bin"));
    EXPECT_FALSE(holds("abcde", 5, work_ / "file.bin"));
    EXPECT_FALSE(holds("abcdefg", 7, work_ / "file.bin"));
    EXPECT_FALSE(holds("", 0, work_ / "none"));

    UpgradeFileHeader header;
    header.nKSize = 1;
    EXPECT_EQ(opt_.ReadUpgradeFile(path.c_str(), UPGRADE_TYPE_UBOOT, header, buffer, &count), 1);
    EXPECT_EQ(opt_.ExtractRegionFile(path.c_str(), Wide(work_).c_str(), UPGRADE_TYPE_MBR, header), 1);
}

}  // namespace
