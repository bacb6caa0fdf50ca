// The command-line fallback: cmd /c format, started through CreateProcessA,
// formats the volume through the machine's cmd.exe.
#include <sys/stat.h>

#include <utility>

#include "support/process_run.h"
#include "volume_testing.h"

using namespace win;
using namespace volume_testing;

namespace {

class FormatCommand : public VolumeTest {
protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        layOutTwoVolumes();
    }

    // As the storage library starts it; returns the exit code.
    static DWORD startAndWait(std::string line) { return testing_support::runToEnd(std::move(line)); }

    // The machine's cmd.exe run from a shell, to read what it says.
    int cmd(const std::string& arguments, std::string* output)
    {
        return testing_support::runCommand(
            "KX_MACHINE='" + dir_.string() + "' '" + (m().driveC() / "Windows/system32/cmd.exe").string() + "' " +
                arguments + " </dev/null",
            output);
    }
};

TEST_F(FormatCommand, MachineHasACommandInterpreterInItsSystemFolder)
{
    struct stat st {};
    ASSERT_EQ(::stat((m().driveC() / "Windows/system32/cmd.exe").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST_F(FormatCommand, FallbackFormatsNtfsWithTheLabel)
{
    machine::setSetting(m(), "format_service", "fails");  // the fallback does not go through FormatEx
    EXPECT_EQ(startAndWait("cmd /c format D: /fs:ntfs /v:Public_1 /q /y"), 0u);
    EXPECT_EQ(blkidField(kNtfsStart, "TYPE"), "ntfs");
    std::string label;
    ASSERT_EQ(testing_support::runCommand("ntfslabel " + extract(kNtfsStart, kNtfsSectors), &label), 0) << label;
    EXPECT_EQ(label, "Public_1\n");
    EXPECT_EQ(volumeInfo("D:\\").label, u"Public_1");
}

TEST_F(FormatCommand, LabelsReachTheVolumeLiterally)
{
    // No shell reads the arguments: this is a label, not a command.
    EXPECT_EQ(startAndWait("cmd /c format D: /fs:ntfs /v:$(reboot);`id` /q /y"), 0u);
    EXPECT_EQ(volumeInfo("D:\\").label, u"$(reboot);`id`");
    EXPECT_EQ(startAndWait("cmd /c format E: /fs:fat32 /v:lower /q /y"), 0u);
    EXPECT_EQ(volumeInfo("E:\\").label, u"LOWER");
    std::string fsck;
    EXPECT_EQ(testing_support::runCommand("fsck.fat -n " + extract(kFatStart, kFatSectors), &fsck), 0) << fsck;
}

TEST_F(FormatCommand, RefusedLabelsAndCommandLinesLeaveTheDiskAlone)
{
    const std::string before = testing_support::fingerprintFile(diskImage(1));
    struct Case {
        const char* arguments;
        int code;
        const char* says;
    };
    for (const Case& c : {Case{"/c format D: /fs:ntfs /v:'a&b' /q /y", 1, "'&'"},
                          Case{"/c format D: /fs:ntfs /v:'a|b' /q /y", 1, "'|'"},
                          Case{"/c format D: /fs:ntfs /v:'a>b' /q /y", 1, "'>'"},
                          Case{"/c format D: /fs:ntfs /v:'a*b' /q /y", 1, "cannot hold '*'"},
                          Case{"/c format D: /fs:ntfs /v:'a\"b' /q /y", 1, "cannot hold '\"'"},
                          Case{"/c format D: /fs:ntfs /v:ThirtyThreeCharactersIsTooLong!!! /q /y", 1, "at most 32"},
                          Case{"/c format E: /fs:fat32 /v:'A;B' /q /y", 1, "cannot hold ';'"},
                          Case{"/c format E: /fs:fat32 /v:TWELVE_CHARS /q /y", 1, "at most 11"},
                          Case{"/c format D: /fs:exfat /q /y", 1, "not supported"},
                          Case{"/c format D: /q /y /bogus", 1, "Invalid parameter - /bogus"},
                          Case{"/c format /q /y", 1, "drive letter"},
                          Case{"/c format Q: /q /y", 4, "no volume Q:"},
                          Case{"/c format D: /q", 5, "Proceed with Format"},
                          Case{"/c dir", 1, "not recognized"},
                          Case{"format D: /q /y", 1, "/c"}}) {
        std::string out;
        EXPECT_EQ(cmd(c.arguments, &out), c.code) << c.arguments << "\n" << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.arguments << "\n" << out;
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);
}

TEST_F(FormatCommand, ReportsProgressAndTheNewVolumesSpace)
{
    std::string out;
    ASSERT_EQ(cmd("/c \"format E: /fs:FAT32 /a:8K /q /y\"", &out), 0) << out;
    EXPECT_NE(out.find("percent completed."), std::string::npos) << out;
    EXPECT_NE(out.find("Format complete."), std::string::npos) << out;
    EXPECT_NE(out.find("total disk space."), std::string::npos) << out;
    std::string fsck;
    ASSERT_EQ(testing_support::runCommand("fsck.fat -n -v " + extract(kFatStart, kFatSectors), &fsck), 0) << fsck;
    EXPECT_NE(fsck.find("8192 bytes per cluster"), std::string::npos) << fsck;
}

}  // namespace
