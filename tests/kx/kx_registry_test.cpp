#include <cstring>

#include <gtest/gtest.h>

#include "kx_fixture.h"
#include "platform/win_api.h"

namespace kx_test {
namespace {

constexpr char kSubKey[] = "Software\\Orvane\\KxTest";

class KxRegistry : public KxTest {
protected:
    // The caller's buffer as the library expects it: zeroed, 1024 bytes, and
    // here followed by guard bytes that must stay untouched.
    struct Out {
        char text[KX_REG_STRING_SIZE] = {};
        char guard[64];
        Out() { std::memset(guard, 0x5A, sizeof guard); }
        bool guardIntact() const
        {
            for (char c : guard)
                if (c != 0x5A)
                    return false;
            return true;
        }
    };

    int get(const char* value, Out& out, const char* subKey = kSubKey)
    {
        return kx_get_reg_string(KX_HKEY_LOCAL_MACHINE, value, out.text, subKey);
    }
};

TEST_F(KxRegistry, SetThenGetRoundTrip)
{
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "Folder", "C:\\Windows\\kxpart", KX_REG_SZ, kSubKey), 0);
    Out out;
    EXPECT_EQ(get("Folder", out), 0);
    EXPECT_STREQ(out.text, "C:\\Windows\\kxpart");

    // A shorter value replaces the old one.
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "Folder", "D:", KX_REG_SZ, kSubKey), 0);
    Out again;
    EXPECT_EQ(get("Folder", again), 0);
    EXPECT_STREQ(again.text, "D:");
}

TEST_F(KxRegistry, WrittenValueKeepsTypeAndTerminator)
{
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_CURRENT_USER, "Expand", "%SystemRoot%", KX_REG_EXPAND_SZ, kSubKey), 0);
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, kSubKey, 0, win::KEY_READ, &key), 0);
    win::DWORD type = 0;
    win::BYTE data[64] = {};
    win::DWORD size = sizeof data;
    EXPECT_EQ(win::RegQueryValueExA(key, "Expand", nullptr, &type, data, &size), 0);
    win::RegCloseKey(key);
    EXPECT_EQ(type, win::REG_EXPAND_SZ);
    EXPECT_EQ(size, std::strlen("%SystemRoot%") + 1);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "%SystemRoot%");
}

TEST_F(KxRegistry, ResultCodes)
{
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "Present", "yes", KX_REG_SZ, kSubKey), 0);
    Out out;
    EXPECT_EQ(get("Present", out, "Software\\Orvane\\NoSuchKey"), 1);
    EXPECT_EQ(get("Absent", out), 1);
    EXPECT_EQ(get(nullptr, out), 2);
    EXPECT_EQ(kx_get_reg_string(KX_HKEY_LOCAL_MACHINE, "Present", nullptr, kSubKey), 2);
    EXPECT_STREQ(out.text, "");

    EXPECT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, nullptr, "x", KX_REG_SZ, kSubKey), 1);
    EXPECT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "Text", nullptr, KX_REG_SZ, kSubKey), 1);
    EXPECT_EQ(get("Text", out), 1);
}

TEST_F(KxRegistry, ValuesAtTheBufferLimit)
{
    const std::string longest(1023, 'L');
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "Longest", longest.c_str(), KX_REG_SZ, kSubKey), 0);
    Out fits;
    EXPECT_EQ(get("Longest", fits), 0);
    EXPECT_EQ(std::string(fits.text), longest);
    EXPECT_TRUE(fits.guardIntact());

    // With its terminator it needs 1025 bytes: a read failure, not a cut text.
    const std::string tooLong(1024, 'T');
    ASSERT_EQ(kx_set_reg_string(KX_HKEY_LOCAL_MACHINE, "TooLong", tooLong.c_str(), KX_REG_SZ, kSubKey), 0);
    Out over;
    EXPECT_EQ(get("TooLong", over), 2);
    EXPECT_TRUE(over.guardIntact());

    // 1024 bytes without a terminator of their own still give a string.
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kSubKey, 0, win::KEY_WRITE, &key), 0);
    const std::string raw(1024, 'R');
    ASSERT_EQ(win::RegSetValueExA(key, "Raw", 0, win::REG_BINARY, reinterpret_cast<const win::BYTE*>(raw.data()),
                                  static_cast<win::DWORD>(raw.size())),
              0);
    win::RegCloseKey(key);
    Out full;
    EXPECT_EQ(get("Raw", full), 0);
    EXPECT_EQ(std::strlen(full.text), 1023u);
    EXPECT_TRUE(full.guardIntact());
}

}  // namespace
}  // namespace kx_test
