// orvane format, run as a user would against a temporary machine, with the
// volumes it leaves judged by the host's own tools.
#include <cstring>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::shellQuote;

// Partition 1 the system partition, 2 NTFS-typed (D:), 3 FAT32-typed (E:).
constexpr std::uint64_t kNtfsStart = 2097215, kFatStart = 3145855;
const char* const kTable = "label: dos\\nstart=131136, size=1966016, type=82\\n"
                           "start=2097215, size=1048576, type=7\\nstart=3145855, size=1048576, type=b\\n";

class OrvaneFormat : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        partitionWithSfdisk(1, kTable);
    }

    // orvane with its arguments, given `input` on standard input; stdout and
    // stderr together in *out.
    int orvane(const std::vector<std::string>& args, std::string* out, const std::string& input = "")
    {
        std::string command = "printf '" + input + "' | " + shellQuote(testing_support::buildDir() + "/orvane") +
                              " --machine " + shellQuote(dir_.string());
        for (const auto& a : args)
            command += " " + shellQuote(a);
        return testing_support::runCommand(command, out);
    }

    std::string blkid(std::uint64_t start, const std::string& field)
    {
        std::string out;
        testing_support::runCommand("blkid -p -O " + std::to_string(start * 512) + " -o value -s " + field + " " +
                                        diskImage(1).string(),
                                    &out);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    std::string print() { return testing_support::fingerprintFile(diskImage(1)); }
};

TEST_F(OrvaneFormat, YesFormatsThePartitionNtfsWithItsLabelAndShowsProgress)
{
    std::string out;
    ASSERT_EQ(orvane({"format", "2", "--label", "Partition-1", "--yes"}, &out), 0) << out;
    EXPECT_NE(out.find("Formatting D: NTFS..."), std::string::npos) << out;
    EXPECT_NE(out.find("] 100%\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Formatted D: NTFS with the label \"Partition-1\"."), std::string::npos) << out;
    EXPECT_EQ(blkid(kNtfsStart, "TYPE"), "ntfs");
    EXPECT_EQ(blkid(kNtfsStart, "LABEL"), "Partition-1");
    EXPECT_EQ(blkid(kFatStart, "TYPE"), "") << "only the partition named";
}

// A formatter planted where the PATH's relative entries lead (or, for root,
// anywhere outside the system's folders) is never what formats.
TEST_F(OrvaneFormat, HostFormattersComeOnlyFromTrustedFolders)
{
    const auto planted = dir_.parent_path() / "planted";
    std::filesystem::create_directories(planted);
    const auto marker = dir_.parent_path() / "planted-ran";
    for (const char* tool : {"mkntfs", "ntfscp", "ntfscat"}) {
        std::ofstream(planted / tool) << "#!/bin/sh\ntouch " << shellQuote(marker.string()) << "\nexit 1\n";
        std::filesystem::permissions(planted / tool, std::filesystem::perms::owner_all);
    }
    const std::string path = std::string(::geteuid() == 0 ? planted.string() + ":" : "") + ".:" + std::getenv("PATH");
    std::string out;
    const std::string command = "cd " + shellQuote(planted.string()) + " && PATH=" + shellQuote(path) + " " +
                                shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                shellQuote(dir_.string()) + " format 2 --label Safe --yes";
    EXPECT_EQ(testing_support::runCommand(command, &out), 0) << out;
    EXPECT_FALSE(std::filesystem::exists(marker)) << "a planted formatter ran";
    EXPECT_EQ(blkid(kNtfsStart, "LABEL"), "Safe");
}

TEST_F(OrvaneFormat, AsksFirstAndOnlyAYesGoesOn)
{
    const std::string before = print();
    for (const std::string input : {"n\\n", "", "yess\\n"}) {
        std::string out;
        EXPECT_EQ(orvane({"format", "2", "--label", "Data"}, &out, input), 1) << input;
        EXPECT_NE(out.find("Everything on it will be lost. Format it NTFS with the label \"Data\"? [y/N]"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("format cancelled; nothing was written"), std::string::npos) << out;
    }
    EXPECT_EQ(print(), before);

    // The terminal's UTF-8 reaches the volume as the same characters.
    std::string out;
    EXPECT_EQ(orvane({"format", "2", "--label", "Donn\u00e9es"}, &out, "y\\n"), 0) << out;
    EXPECT_EQ(blkid(kNtfsStart, "LABEL"), "Donn\u00e9es");
}

TEST_F(OrvaneFormat, FsMustMatchThePartitionsType)
{
    const std::string before = print();
    std::string out;
    EXPECT_EQ(orvane({"format", "3", "--label", "DATA", "--fs", "ntfs", "--yes"}, &out), 1);
    EXPECT_NE(out.find("partition 3 (E:, 0.5 GiB) is of type FAT32. The library formats a partition with the file "
                       "system of its type, so it cannot become NTFS. Nothing was done."),
              std::string::npos)
        << out;
    EXPECT_EQ(print(), before);

    ASSERT_EQ(orvane({"format", "3", "--label", "DATA", "--fs", "FAT32", "--yes"}, &out), 0) << out;
    EXPECT_EQ(blkid(kFatStart, "VERSION"), "FAT32");
    EXPECT_EQ(blkid(kFatStart, "LABEL"), "DATA");
}

TEST_F(OrvaneFormat, RefusesWhatItMustNotFormat)
{
    const std::string before = print();
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    for (const Case& c : {
             Case{{"format", "1", "--label", "X", "--yes"}, 1, "partition 1 is the appliance's system partition"},
             Case{{"format", "9", "--label", "X", "--yes"}, 1, "there is no partition 9 on"},
             Case{{"format", "2", "--yes"}, 2, "format needs --label"},
             Case{{"format", "2", "--label", "X", "--fs", "exfat"}, 2, "--fs takes ntfs, fat or fat32"},
             Case{{"format", "2", "--label", std::string(33, 'x'), "--yes"}, 2, "at most 32 characters"},
         }) {
        std::string out;
        EXPECT_EQ(orvane(c.args, &out), c.code) << c.args[1] << " " << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
    EXPECT_EQ(print(), before);
}

// A label character the file system cannot hold is named before anything is
// written; one it can hold, though a shell would read it, is formatted.
TEST_F(OrvaneFormat, LabelCharactersTheFileSystemRefusesAreNamed)
{
    const std::string before = print();
    struct Case {
        const char* partition;
        std::string label;
        const char* says;
    };
    for (const Case& c : {Case{"2", "a\"b", "NTFS labels cannot hold '\"'"},
                          Case{"2", "a|b", "NTFS labels cannot hold '|'"},
                          Case{"2", "a>b", "NTFS labels cannot hold '>'"},
                          Case{"2", "tab\there", "NTFS labels cannot hold control characters"},
                          Case{"3", "A+B", "FAT32 labels cannot hold '+'"},
                          Case{"3", "A.B", "FAT32 labels cannot hold '.'"}}) {
        std::string out;
        EXPECT_EQ(orvane({"format", c.partition, "--label", c.label, "--yes"}, &out), 2) << c.label;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_EQ(out.find("Formatting"), std::string::npos) << out;
    }
    EXPECT_EQ(print(), before);

    std::string out;
    ASSERT_EQ(orvane({"format", "2", "--label", "R&D", "--yes"}, &out), 0) << out;
    EXPECT_EQ(blkid(kNtfsStart, "LABEL"), "R&D");
}

TEST_F(OrvaneFormat, FailedFormatExitsNonZeroAndSaysWhy)
{
    machine::setSetting(m(), "format_service", "absent");
    const std::string before = print();
    std::string out;
    EXPECT_EQ(orvane({"format", "2", "--label", "Data", "--yes"}, &out), 1);
    EXPECT_NE(out.find("D: was not formatted: this system has no format service"), std::string::npos) << out;
    EXPECT_EQ(print(), before);

    // The fallback formats, but nothing vouches for it: still a failure.
    // Said as the drive holds it afterwards.
    for (const char* service : {"fails", "fails_at_99"}) {
        machine::setSetting(m(), "format_service", service);
        const std::string label = std::string("Data") + std::to_string(std::strlen(service));
        EXPECT_EQ(orvane({"format", "2", "--label", label, "--yes"}, &out), 1);
        EXPECT_NE(out.find("format was run in its place, and D: now holds NTFS labelled \"" + label + "\""),
                  std::string::npos)
            << out;
        EXPECT_EQ(blkid(kNtfsStart, "LABEL"), label);
    }
}

}  // namespace
