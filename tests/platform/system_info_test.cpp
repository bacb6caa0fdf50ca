// What a process learns about the system: version, WOW64, language and the
// code pages the A functions convert with.
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class SystemInfo : public testing_support::TempMachine {};

TEST_F(SystemInfo, VersionRecordsOfThePresets)
{
    machine::setSetting(m(), "os", "xp");
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 2600u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 3");

    machine::setSetting(m(), "os", "2003");
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 5u);
    EXPECT_EQ(ex.dwMinorVersion, 2u);
    EXPECT_EQ(ex.wProductType, VER_NT_SERVER);
    EXPECT_EQ(ex.wServicePackMajor, 2);

    machine::setSetting(m(), "os", "xp64");
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION) << "5.2 as a workstation";

    // Windows 9x keeps major and minor in the build number's high word.
    machine::setSetting(m(), "os", "me");
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(info.dwBuildNumber >> 16, 0x045Au);
}

TEST_F(SystemInfo, VersionFailures)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info - 4;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    machine::setSetting(m(), "os.fails", "true");
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST_F(SystemInfo, Wow64AndIds)
{
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    machine::setSetting(m(), "wow64", "true");
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64);
    EXPECT_FALSE(IsWow64Process(reinterpret_cast<HANDLE>(0x7777770), &wow64));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, GetCurrentThreadId());
}

TEST_F(SystemInfo, CodePagesFollowTheLanguage)
{
    struct Case {
        const char* lang;
        UINT acp, oemcp;
    };
    for (const Case& c : {Case{"en-US", 1252, 437}, Case{"zh-CN", 936, 936}, Case{"zh-TW", 950, 950},
                          Case{"zh-HK", 950, 950}, Case{"0x0407", 1252, 437}}) {
        machine::setSetting(m(), "lang_id", c.lang);
        EXPECT_EQ(GetACP(), c.acp) << c.lang;
        EXPECT_EQ(GetOEMCP(), c.oemcp) << c.lang;
    }
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0407);
    machine::setSetting(m(), "acp", "936");
    EXPECT_EQ(GetACP(), 936u) << "an explicit code page wins over the language";
    EXPECT_EQ(GetOEMCP(), 437u);
}

// Converts both ways and checks the counts Windows gives.
void roundTrip(UINT codePage, const std::string& bytes, const std::u16string& text)
{
    const int wideCount = MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, nullptr, 0);
    EXPECT_EQ(wideCount, static_cast<int>(text.size() + 1)) << "the terminator is counted";
    std::u16string wide(static_cast<size_t>(wideCount), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, wide.data(), wideCount), wideCount);
    EXPECT_EQ(wide, text + u'\0');

    const int byteCount = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(byteCount, static_cast<int>(bytes.size() + 1));
    std::string back(static_cast<size_t>(byteCount), '\0');
    BOOL usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.c_str(), -1, back.data(), byteCount, nullptr, &usedDefault),
              byteCount);
    EXPECT_EQ(back, bytes + '\0');
    EXPECT_FALSE(usedDefault);
}

TEST_F(SystemInfo, ChineseAndWesternRoundTrips)
{
    roundTrip(936, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4", u"中文测试");
    // 0x5C, a backslash, is the trail byte of the last character.
    roundTrip(950, "\xA4\xA4\xA4\xE5\xB4\xFA\xB8\xD5\xB3\x5C", u"中文測試許");
    roundTrip(1252, "caf\xE9", u"café");

    machine::setSetting(m(), "lang_id", "zh-CN");
    WCHAR out[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xD6\xD0", 2, out, 8), 1) << "an explicit size counts no terminator";
    EXPECT_EQ(out[0], u'中');
}

TEST_F(SystemInfo, ConversionLimits)
{
    WCHAR two[2];
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, two, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 0, two, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, "abc", -1, two, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "an unknown code page";

    char narrow[8] = {};
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"a中", 2, narrow, sizeof narrow, nullptr, &usedDefault), 2);
    EXPECT_EQ(std::string(narrow, 2), "a?");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"中", 1, narrow, sizeof narrow, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"中", 1, narrow, sizeof narrow, nullptr, &usedDefault), 0)
        << "UTF-8 takes no default character";
}

}  // namespace
