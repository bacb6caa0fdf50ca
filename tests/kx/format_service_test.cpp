// Each behaviour of the machine's format service, and the command-line
// fallback that takes over when the service never reports success.
#include <filesystem>

#include "format_fixture.h"

namespace kx_test {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

class FormatService : public FormatTest {
protected:
    // The fallback runs the machine's cmd.exe, which is orvane-cmd.
    void useService(const std::string& setting) { machine::setSetting(m(), "format_service", setting); }
};

TEST_F(FormatService, AbsentServiceDoesNothingAndLeavesTheProgress)
{
    standardTable({256 * kMiB});
    ASSERT_EQ(kx_part_format(partition(1), nullptr, "First", 1, 0), 0);
    useService("absent");
    const std::string print = imagePrint();
    EXPECT_EQ(kx_part_format(partition(1), nullptr, "Second", 1, 0), KX_FORMAT_NO_SERVICE);
    EXPECT_EQ(imagePrint(), print) << "no fallback either";
    EXPECT_EQ(kx_part_format_progress(partition(1)), 100.0);
    EXPECT_NE(logText().find("Fail to format: " + partitionPath(diskNumber(1), 2) + "\n"), std::string::npos);
}

TEST_F(FormatService, FailingServiceLeavesItToTheFallbackWhichFormatsNtfs)
{
    PedWinPart* part = fat32Partition();
    useService("fails");
    // The fallback's work is not vouched for, so the format is a failure
    // with progress 0, whatever the command line did.
    EXPECT_EQ(kx_part_format(part, nullptr, "Fallback", 1, 0), KX_FORMAT_FAILED);
    EXPECT_EQ(kx_part_format_progress(part), 0.0);
    EXPECT_EQ(blkid(2, "TYPE"), "ntfs") << "a FAT32 partition ends up NTFS";
    EXPECT_EQ(blkid(2, "LABEL"), "Fallback");
}

TEST_F(FormatService, ServiceFailingAt99IsAFailureToo)
{
    standardTable({256 * kMiB});
    useService("fails_at_99");
    EXPECT_EQ(kx_part_format(partition(1), nullptr, "After99", 1, 0), KX_FORMAT_FAILED);
    EXPECT_EQ(kx_part_format_progress(partition(1)), 0.0);
    EXPECT_EQ(blkid(2, "LABEL"), "After99") << "the fallback ran";
}

TEST_F(FormatService, LabelsUnsafeOnACommandLineNeverReachOne)
{
    standardTable({256 * kMiB});
    useService("fails");
    const std::string print = imagePrint();
    for (const char* label : {"My Disk", "x&shutdown", "a|b"}) {
        EXPECT_EQ(kx_part_format(partition(1), nullptr, label, 1, 0), KX_FORMAT_BAD_LABEL) << label;
        EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\fs\\pedfilesys:formatDrive:",
                                   std::string("]: Label not passed to the command-line format: ") + label));
    }
    EXPECT_EQ(imagePrint(), print);
}

TEST_F(FormatService, FallbackThatCannotStartSaysSoOnStandardOutput)
{
    standardTable({256 * kMiB});
    useService("fails");
    std::filesystem::remove(m().driveC() / "Windows/system32/cmd.exe");
    testing::internal::CaptureStdout();
    const int result = kx_part_format(partition(1), nullptr, "NoShell", 1, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, KX_FORMAT_FAILED);
    EXPECT_EQ(out, "CreateProcess failed (2)\n");
}

}  // namespace
}  // namespace kx_test
