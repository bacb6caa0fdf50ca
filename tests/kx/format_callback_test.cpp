// How the format service's reports are read, with a scripted FormatEx that
// can play any order of reports; and what the command-line fallback is given.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fs/pedfilesys_format.h"

namespace kx_test {
namespace {

// A report is a percentage (PROGRESS) or a result (DONE); a run is a list
// of them, one run per call, the last one repeating.
using Run = std::vector<std::pair<win::DWORD, win::DWORD>>;
constexpr win::DWORD P = win::PROGRESS, D = win::DONE;

struct Script {
    std::vector<Run> runs;
    int calls = 0;
    std::vector<int> figures;  // the progress figure after each report
    std::u16string root, fileSystem, label;
    win::DWORD mediaType = 0;
} gScript;

void scriptedFormatEx(win::PWCHAR root, win::DWORD mediaType, win::PWCHAR fileSystem, win::PWCHAR label, win::BOOL,
                      win::DWORD, win::PFMIFSCALLBACK callback)
{
    gScript.root = root;
    gScript.fileSystem = fileSystem;
    gScript.label = label;
    gScript.mediaType = mediaType;
    const Run& run = gScript.runs[std::min<size_t>(static_cast<size_t>(gScript.calls++), gScript.runs.size() - 1)];
    for (auto [command, value] : run) {
        win::BOOLEAN flag = value ? 1 : 0;
        EXPECT_TRUE(callback(command, 0, command == D ? static_cast<void*>(&flag) : static_cast<void*>(&value)));
        gScript.figures.push_back(kx::ped_file_system_format_progress());
    }
}

// Plays the runs through the attempts; returns the number of calls.
int play(std::vector<Run> runs, int code = kx::FS_NTFS)
{
    gScript = Script{};
    gScript.runs = std::move(runs);
    kx::DriveFormat drive;
    drive.letter = 'E';
    drive.code = code;
    drive.label = u"Partition-2";
    return kx::runFormatEx(scriptedFormatEx, drive);
}

TEST(FormatReports, CallsNameTheDriveRootFileSystemLabelAndFixedDisk)
{
    play({{{D, 1}}}, kx::FS_FAT32);
    EXPECT_EQ(gScript.root, u"E:\\");
    EXPECT_EQ(gScript.fileSystem, u"FAT32");
    EXPECT_EQ(gScript.label, u"Partition-2");
    EXPECT_EQ(gScript.mediaType, 12u);
    play({{{D, 1}}}, kx::FS_FAT);
    EXPECT_EQ(gScript.fileSystem, u"FAT");
    // Any other code, private or system ones too, is formatted NTFS.
    play({{{D, 1}}}, kx::FS_PRIVATE_FAT32);
    EXPECT_EQ(gScript.fileSystem, u"NTFS");
}

TEST(FormatReports, DoneIsAppliedLastAnd99WithoutItCountsAsSuccess)
{
    EXPECT_EQ(play({{{P, 50}, {P, 98}, {D, 1}}}), 1);
    EXPECT_TRUE(kx::formatSucceeded());
    EXPECT_EQ(gScript.figures, (std::vector<int>{50, 98, 98}));

    EXPECT_EQ(play({{{P, 40}, {P, 99}}}), 1);
    EXPECT_TRUE(kx::formatSucceeded());

    EXPECT_EQ(play({{{P, 99}, {D, 0}}}), 10) << "a failure after 99 is tried again";
    EXPECT_FALSE(kx::formatSucceeded());
}

TEST(FormatReports, RetriedUntilOneSucceedsAtMostTenTimes)
{
    EXPECT_EQ(play({{{D, 0}}, {{D, 0}}, {{P, 30}, {D, 1}}}), 3);
    EXPECT_EQ(play({{{D, 0}}}), 10);
    EXPECT_EQ(play({{}}), 10) << "a run without reports never succeeds";
    EXPECT_FALSE(kx::formatSucceeded());
}

TEST(FormatReports, FiguresStartAtZeroAndTakeOnlyOneToHundred)
{
    play({{{P, 70}, {D, 1}}});
    play({{{P, 0}, {P, 101}, {8, 55}, {P, 12}, {D, 1}}});
    EXPECT_EQ(gScript.figures, (std::vector<int>{0, 0, 0, 12, 12}));
    kx::formatCallback(P, 0, nullptr);
    EXPECT_EQ(kx::ped_file_system_format_progress(), 12);
    // A done report without its value cannot vouch for the format.
    kx::formatCallback(D, 0, nullptr);
    EXPECT_FALSE(kx::formatSucceeded());
}

TEST(FormatFallbackLine, OnlyPlainLabelsReachTheCommandLine)
{
    EXPECT_EQ(kx::fallbackCommandLine('D', "Partition-1", u"Partition-1"),
              "cmd /c format D: /fs:ntfs /v:Partition-1 /q /y");
    // Letters of other scripts are letters too ("Daten-Ä" in code page 1252).
    EXPECT_EQ(kx::fallbackCommandLine('D', "Daten-\xC4", u"Daten-\u00C4"),
              "cmd /c format D: /fs:ntfs /v:Daten-\xC4 /q /y");
    for (const std::string label : {"My Disk", "a&b", "a|b", "a>b", "a^b", "a\"b", "%PATH%", "a!b", "a;b", "a/q"})
        EXPECT_EQ(kx::fallbackCommandLine('D', label, std::u16string(label.begin(), label.end())), std::nullopt)
            << label;
    EXPECT_EQ(kx::fallbackCommandLine('D', "a b", u"a\u3000b"), std::nullopt) << "an ideographic space";
    // At most 127 characters: 92 bytes of label fill it.
    const auto longest = kx::fallbackCommandLine('D', std::string(92, 'x'), std::u16string(92, u'x'));
    EXPECT_EQ(longest.value_or("").size(), 127u);
    EXPECT_EQ(kx::fallbackCommandLine('D', std::string(93, 'x'), std::u16string(93, u'x')), std::nullopt);
}

}  // namespace
}  // namespace kx_test
