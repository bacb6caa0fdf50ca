#include <gtest/gtest.h>

#include "kx_fixture.h"

namespace kx_test {
namespace {

constexpr char kStart[] = "------Start Log System-------\n";

using KxLog = KxTest;

TEST_F(KxLog, WritesNothingBeforeInit)
{
    EXPECT_EQ(kx_printf("before init %d\n", 1), 0);
    EXPECT_EQ(kx_log("f", "g", 1, "before init"), 0);
    EXPECT_EQ(kx_log_exit(), 0);
    EXPECT_TRUE(fs::is_empty(logDir_));
}

TEST_F(KxLog, FileIsKxlogInTheGivenDirectory)
{
    fs::create_directories(m().driveC() / "logs");
    const struct {
        std::string directory;
        fs::path file;
    } cases[] = {
        {logDir_.string(), logFile()},
        {logDir_.string() + "\\", logFile()},
        {"C:\\logs", m().driveC() / "logs" / "kxlog.txt"},
        {"C:\\logs\\", m().driveC() / "logs" / "kxlog.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        fs::remove(c.file);
        ASSERT_EQ(kx_log_init(c.directory.c_str()), 1);
        EXPECT_EQ(kx_printf("line %s\n", "one"), 1);
        EXPECT_EQ(readFile(c.file), std::string(kStart) + "line one\n");
    }
}

TEST_F(KxLog, MissingDirectoryIsReportedAndKeepsTheLog)
{
    startLog();
    EXPECT_EQ(kx_log_init(nullptr), 0);
    EXPECT_EQ(kx_log_init(""), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_log_init(", "): path != NULL"));
    EXPECT_EQ(kx_printf("still here\n"), 1);
    EXPECT_EQ(linesOf(logText()).back(), "still here");
}

TEST_F(KxLog, TooLongDirectoryIsRefused)
{
    startLog();
    const std::string directory(5000, 'd');
    EXPECT_EQ(kx_log_init(directory.c_str()), 0);
    EXPECT_EQ(kx_printf("after\n"), 1);
    EXPECT_EQ(logText(), std::string(kStart) + "after\n");
}

TEST_F(KxLog, LinesOf4096CharactersOrMoreAreDropped)
{
    startLog();
    const std::string fits(4094, 'a');
    const std::string tooLong(4095, 'b');
    EXPECT_EQ(kx_printf("%s\n", fits.c_str()), 1);
    EXPECT_EQ(kx_printf("%s\n", tooLong.c_str()), 0);
    EXPECT_EQ(kx_printf("%s%s\n", fits.c_str(), fits.c_str()), 0);
    EXPECT_EQ(logText(), std::string(kStart) + fits + "\n");

    // "[f]:g(1): " and the line feed take 11 of the 4095 characters.
    EXPECT_EQ(kx_log("f", "g", 1, std::string(4084, 'c').c_str()), 1);
    EXPECT_EQ(kx_log("f", "g", 1, std::string(4085, 'd').c_str()), 0);
    const auto lines = linesOf(logText());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "[f]:g(1): " + std::string(4084, 'c'));
}

TEST_F(KxLog, KxLogLineFormatAndMissingArguments)
{
    startLog();
    EXPECT_EQ(kx_log(".\\parted\\peddevice", "ped_device_get", 42, "path == NULL"), 1);
    EXPECT_EQ(kx_log(nullptr, "f", 1, "m"), 0);
    EXPECT_EQ(kx_log("s", nullptr, 1, "m"), 0);
    EXPECT_EQ(kx_log("s", "f", 1, nullptr), 0);
    EXPECT_EQ(kx_printf(nullptr), 0);
    EXPECT_EQ(logText(), std::string(kStart) + "[.\\parted\\peddevice]:ped_device_get(42): path == NULL\n");
}

TEST_F(KxLog, ExitWritesEndMarkerAndLoggingGoesOn)
{
    startLog();
    EXPECT_EQ(kx_log_exit(), 0);  // the close result
    EXPECT_EQ(kx_printf("later\n"), 1);
    EXPECT_EQ(logText(), std::string(kStart) + "------Exit Log System-------\nlater\n");
}

}  // namespace
}  // namespace kx_test
