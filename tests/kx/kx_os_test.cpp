#include <utility>

#include <gtest/gtest.h>

#include "kx_fixture.h"

namespace kx_test {
namespace {

struct OsCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    int code;
};

class KxOsCode : public KxTest, public ::testing::WithParamInterface<OsCase> {};

TEST_P(KxOsCode, MachineVersionGivesCode)
{
    for (const auto& [key, value] : GetParam().settings)
        machine::setSetting(m(), key, value);
    EXPECT_EQ(kx_os_version(), GetParam().code);
}

const OsCase kOsCases[] = {
    {"Server2003", {{"os", "2003"}}, 10},
    {"Server2003DomainController", {{"os", "2003"}, {"os.product_type", "dc"}}, 10},
    {"XpX64", {{"os", "xp64"}}, 9},
    {"Xp", {{"os", "xp"}}, 8},
    {"Win2000", {{"os", "2000"}}, 7},
    {"Nt4", {{"os", "nt4"}}, 6},
    {"Vista", {{"os", "vista"}}, 13},
    {"Win7", {{"os", "7"}}, 13},
    {"Win10", {{"os", "10"}}, 13},
    {"NtMajor10", {{"os", "7"}, {"os.major", "10"}, {"os.minor", "0"}}, 13},
    {"Nt351", {{"os", "nt4"}, {"os.major", "3"}, {"os.minor", "51"}}, 0},
    {"Me", {{"os", "me"}}, 4},
    {"Win98", {{"os", "98"}}, 3},
    {"Win95", {{"os", "95"}}, 2},
    {"Unknown9x", {{"os", "98"}, {"os.minor", "11"}}, 0},
    {"Win32s", {{"os", "win32s"}}, 1},
};

INSTANTIATE_TEST_SUITE_P(Versions, KxOsCode, ::testing::ValuesIn(kOsCases),
                         [](const ::testing::TestParamInfo<OsCase>& test) { return std::string(test.param.name); });

using KxOs = KxTest;

TEST_F(KxOs, ReportsTheCodeInTheLog)
{
    machine::setSetting(m(), "os", "2003");
    startLog();
    EXPECT_EQ(kx_os_version(), 10);
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_os_version:", "]: OS version: 10"));
}

TEST_F(KxOs, DetectedOncePerProcess)
{
    machine::setSetting(m(), "os", "xp");
    EXPECT_EQ(kx_soft_init(), 1);
    machine::setSetting(m(), "os", "7");
    EXPECT_EQ(kx_os_version(), 8);
    kx_soft_exit();
    EXPECT_EQ(kx_os_version(), 8);
}

TEST_F(KxOs, FailedQueryIsLoggedAndTheEmptyRecordClassified)
{
    machine::setSetting(m(), "os.fails", "true");
    startLog();
    // A zeroed record has platform id 0, which reads as Win32s.
    EXPECT_EQ(kx_os_version(), 1);
    EXPECT_NE(logText().find("Fail to get OS version"), std::string::npos);
}

}  // namespace
}  // namespace kx_test
