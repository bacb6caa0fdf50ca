#include <cstring>

#include <gtest/gtest.h>

#include "kx_fixture.h"
#include "platform/win_api.h"

namespace kx_test {
namespace {

using KxSoft = KxTest;

TEST_F(KxSoft, InitSucceedsAndLogs)
{
    startLog();
    EXPECT_EQ(kx_soft_init(), 1);
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_soft_init:",
                               "]: Success to initialize kx software"));
    kx_soft_exit();
}

TEST_F(KxSoft, InitLeavesTheLogOffAndCanBeRepeated)
{
    EXPECT_EQ(kx_soft_init(), 1);
    EXPECT_EQ(kx_printf("nobody listens\n"), 0);
    kx_soft_exit();
    EXPECT_EQ(kx_soft_init(), 1);
    kx_soft_exit();
    EXPECT_TRUE(fs::is_empty(logDir_));
}

TEST_F(KxSoft, PathsAreFoldersOfTheWindowsDirectory)
{
    char windows[win::MAX_PATH] = {};
    ASSERT_GT(win::GetWindowsDirectoryA(windows, sizeof windows), 0u);
    const std::string base = std::string(windows) + "\\";

    const char* unpack = kx_soft_unpack_path();
    const char* system32 = kx_soft_system32_path();
    const char* backup = kx_soft_backup_path();
    // Each function has its own buffer, so the earlier texts survive.
    EXPECT_EQ(std::string(unpack), base + "kxpart");
    EXPECT_EQ(std::string(system32), base + "system32");
    EXPECT_EQ(std::string(backup), base + "kxbackup");
    EXPECT_EQ(kx_soft_unpack_path(), unpack);
}

}  // namespace
}  // namespace kx_test
