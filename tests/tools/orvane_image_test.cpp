// orvane image create and verify, checked with coreutils: the header text,
// where each part lies, and a checksum that cksum agrees with.
#include <chrono>
#include <iterator>

#include "firmware_cli.h"

namespace {

using namespace firmware_testing;

class OrvaneImage : public FirmwareCli {
protected:
    // The header lines as text, through the first count lines.
    std::string headLines(const fs::path& image, int count)
    {
        return shellOut("head -n " + std::to_string(count) + " " + shellQuote(image.string()));
    }
};

TEST_F(OrvaneImage, CreatedImageVerifiesAndCoreutilsAgreesOnItsLayoutAndChecksum)
{
    const fs::path kernel = randomFile("k", 4 * 1024 * 1024, 3);  // exactly its region
    const fs::path rootfs = randomFile("r", 777777, 4);
    const fs::path boot = randomFile("b", 5000, 5);
    const fs::path image = work() / "out.bin";
    auto run = orvane({"image", "create", "--kernel", kernel.string(), "--rootfs", rootfs.string(), "--bsize-file",
                       boot.string(), "-o", image.string()});
    ASSERT_EQ(run.code, 0) << run.err;

    const std::string header = headLines(image, 5) + "\n";
    const std::string first = header.substr(0, header.find('\n') + 1);
    ASSERT_EQ(first.rfind("CRCSUM=", 0), 0u) << header;
    EXPECT_EQ(header.substr(first.size()), "SKIP=4\nBSIZE=5000\nKSIZE=4194304\nRSIZE=777777\n");
    const std::uint64_t h = header.size();
    EXPECT_EQ(fs::file_size(image), h + 5000 + 4194304 + 777777);
    EXPECT_TRUE(sameBytes(image, h, boot, 0, 5000));
    EXPECT_TRUE(sameBytes(image, h + 5000, kernel, 0, 4194304));
    EXPECT_TRUE(sameBytes(image, h + 5000 + 4194304, rootfs, 0, 777777));
    // The checksum covers everything after the first line up to the rootfs end.
    EXPECT_EQ(first, "CRCSUM=" + cksumOf(image, first.size(), fs::file_size(image) - first.size()) + "\n");

    run = orvane({"image", "verify", image.string()});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("KSIZE=4194304\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("kernel: 4194304 bytes at byte " + std::to_string(h + 5000)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("checksum: holds"), std::string::npos) << run.out;
}

TEST_F(OrvaneImage, WithoutABsizePartTheKernelFollowsTheHeader)
{
    const fs::path image = makeImage();
    const std::string header = headLines(image, 5) + "\n";
    EXPECT_NE(header.find("\nBSIZE=0\n"), std::string::npos) << header;
    EXPECT_TRUE(sameBytes(image, header.size(), kernel_, 0, fs::file_size(kernel_)));
    EXPECT_EQ(orvane({"image", "verify", image.string()}).code, 0);
}

TEST_F(OrvaneImage, AnyChangedByteInTheCheckedSpanFailsVerify)
{
    const fs::path image = makeImage();
    const std::uint64_t size = fs::file_size(image);
    const std::string first = headLines(image, 1);
    // A payload byte, the last rootfs byte, and the header's own value.
    for (const std::uint64_t at : {first.size() + 400000, size - 1, std::uint64_t{7}}) {
        const fs::path copy = work() / ("changed-" + std::to_string(at) + ".bin");
        fs::copy_file(image, copy);
        if (at == 7)
            patch(copy, at, std::string(1, first[7] == '1' ? '2' : '1'));  // still within 32 bits
        else
            flipByte(copy, at);
        ASSERT_FALSE(sameBytes(image, 0, copy, 0, size)) << "the patch changed nothing at " << at;
        const auto run = orvane({"image", "verify", copy.string()});
        EXPECT_EQ(run.code, 1) << at << run.out;
        EXPECT_NE(run.err.find("does not verify"), std::string::npos) << run.err;
    }
    const auto run = orvane({"image", "verify", (work() / "changed-7.bin").string()});
    EXPECT_NE(run.out.find("checksum: does not hold"), std::string::npos) << run.out;
}

TEST_F(OrvaneImage, TruncatedOrMissingImagesFailVerify)
{
    const fs::path image = makeImage();
    const fs::path cut = work() / "cut.bin";
    shellOut("head -c -1 " + shellQuote(image.string()) + " > " + shellQuote(cut.string()));
    auto run = orvane({"image", "verify", cut.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("checksum: not checked: the file ends before"), std::string::npos) << run.out;

    run = orvane({"image", "verify", (work() / "none.bin").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no such file"), std::string::npos) << run.err;
}

TEST_F(OrvaneImage, CreateRefusesPartsBeyondTheirRegionsAndKeepsTheOldOutput)
{
    const fs::path out = work() / "keep.bin";
    std::ofstream(out) << "old contents";
    const fs::path kernel = randomFile("k", 1000, 6), rootfs = randomFile("r", 1000, 7);
    const fs::path bigKernel = randomFile("bk", kKernelRegion + 1, 8);
    const fs::path bigRootfs = randomFile("br", kRootfsRegion + 1, 9);
    const fs::path empty = randomFile("e", 0, 10);
    const std::vector<std::pair<fs::path, fs::path>> refused = {
        {bigKernel, rootfs}, {kernel, bigRootfs}, {empty, rootfs}, {kernel, empty}, {kernel, work() / "missing"}};
    for (const auto& [k, r] : refused) {
        const auto run =
            orvane({"image", "create", "--kernel", k.string(), "--rootfs", r.string(), "-o", out.string()});
        EXPECT_EQ(run.code, 1) << k << " " << r;
        EXPECT_NE(run.err.find("orvane: "), std::string::npos);
    }
    EXPECT_EQ(shellOut("cat " + shellQuote(out.string())), "old contents");
    // An output that is one of the inputs, under any of its names, is refused.
    const std::string kernelBefore = shellOut("cksum < " + shellQuote(kernel.string()));
    auto run = orvane({"image", "create", "--kernel", kernel.string(), "--rootfs", rootfs.string(), "-o",
                       (work() / "." / "k").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    EXPECT_EQ(shellOut("cksum < " + shellQuote(kernel.string())), kernelBefore);

    // A good image replaces it whole, leaving no temporary file behind.
    ASSERT_EQ(orvane({"image", "create", "--kernel", kernel.string(), "--rootfs", rootfs.string(), "--output",
                      out.string()})
                  .code,
              0);
    EXPECT_EQ(orvane({"image", "verify", out.string()}).code, 0);
    EXPECT_EQ(shellOut("ls -A " + shellQuote(work().string()) + " | grep -c keep.bin"), "1");
}

TEST_F(OrvaneImage, VerifyRefusesHeadersThatDescribeNoImage)
{
    const fs::path image = work() / "hand.bin";
    const std::string body = "SKIP=4\nBSIZE=0\nKSIZE=0\nRSIZE=3\nabc";
    std::ofstream(image, std::ios::binary) << "CRCSUM=1\n" << body;
    const auto run = orvane({"image", "verify", image.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("not checked: its header gives no usable sizes"), std::string::npos) << run.out;
}

// A header number read loosely would verify, show and write sizes its text
// does not say: verify and upgrade refuse it naming the line, show none of
// its fields, and no disk is written.
TEST_F(OrvaneImage, LooseHeaderNumbersAreRefusedNamingTheLine)
{
    const fs::path image = makeImage();
    std::ifstream in(image, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("KSIZE=") + 6;
    const size_t end = text.find('\n', at);
    const std::string ksize = text.substr(at, end - at);
    const std::string wrapped = std::to_string(std::stoull(ksize) + (std::uint64_t{1} << 32));
    const std::vector<std::pair<std::string, std::string>> values = {
        {wrapped, "line 4: KSIZE=" + wrapped + " is beyond its range (0 to 2147483647)"},
        {ksize + "abc", "line 4: KSIZE= must be followed by decimal digits only"},
        {"+" + ksize, "line 4: KSIZE= must be followed by decimal digits only"},
        {ksize + "\nKSIZE=" + ksize, "line 5: a second KSIZE= line"},
    };
    for (const auto& [value, why] : values) {
        const fs::path bad = work() / "loose.bin";
        std::ofstream(bad, std::ios::binary | std::ios::trunc) << text.substr(0, at) + value + text.substr(end);
        auto run = orvane({"image", "verify", bad.string()});
        EXPECT_EQ(run.code, 1) << value;
        EXPECT_NE(run.out.find("header: refused: " + why), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("KSIZE=" + ksize + "\n"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("its header is refused: " + why), std::string::npos) << run.err;
        run = orvane({"upgrade", bad.string(), "--yes"});
        EXPECT_EQ(run.code, 1) << value;
        EXPECT_NE(run.err.find("its header is refused: " + why), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("nothing was written"), std::string::npos) << run.err;
    }
}

// SKIP beyond any header's size is refused at once, however large the file.
TEST_F(OrvaneImage, AHugeSkipIsRefusedWithoutReadingTheFile)
{
    const fs::path image = work() / "sparse.bin";
    std::ofstream(image, std::ios::binary) << "CRCSUM=1\nSKIP=99999999999\n";
    fs::resize_file(image, std::uintmax_t{5} << 30);
    const auto start = std::chrono::steady_clock::now();
    const auto run = orvane({"image", "verify", image.string()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("header: refused: line 2: SKIP=99999999999 is beyond its range (0 to 1023)"),
              std::string::npos)
        << run.out;
}

TEST_F(OrvaneImage, CommandLineMistakesAreUsageErrors)
{
    const std::vector<std::vector<std::string>> mistakes = {
        {"image"},
        {"image", "show"},
        {"image", "create", "--kernel", "k", "-o", "x"},
        {"image", "create", "--rootfs", "r", "-o", "x"},
        {"image", "create", "--kernel", "k", "--rootfs", "r"},
        {"image", "create", "--kernel", "k", "--rootfs", "r", "-o"},
        {"image", "create", "--kernel", "k", "--rootfs", "r", "-o", "x", "--device", "d"},
        {"image", "verify"},
        {"image", "verify", "a", "b"},
        {"upgrade"},
        {"upgrade", "a", "b"},
        {"upgrade", "a", "--yes=1"},
        {"upgrade", "a", "--force", "x"},
    };
    for (const auto& args : mistakes) {
        const auto run = orvane(args);
        EXPECT_EQ(run.code, 2) << testing::PrintToString(args) << run.err;
    }
}

}  // namespace
