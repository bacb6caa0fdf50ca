// The registry functions over the machine: round trips, the error codes
// callers branch on, and changes seen across processes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class Registry : public testing_support::TempMachine {
protected:
    HKEY create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }

    static LONG setString(HKEY key, const char* name, const std::string& text)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    // The string a fresh process reads: 0 found and equal, 1 differs, 2 missing.
    static int childReads(const char* path, const char* name, const std::string& expected)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            HKEY key = nullptr;
            char buffer[256] = {};
            DWORD size = sizeof buffer;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS ||
                RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
                ::_exit(2);
            ::_exit(expected == buffer ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(Registry, ValueRoundTripAndSizes)
{
    DWORD disposition = 0;
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Orvane\\Config", KEY_WRITE | KEY_READ, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(setString(key, "Language", "zh-CN"), ERROR_SUCCESS);
    const DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    key = create(HKEY_CURRENT_USER, "software\\ORVANE\\config", KEY_READ, &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY) << "names compare without case";

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "language", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);

    char small[3] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Language", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);

    char text[64] = {};
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Language", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "zh-CN");
    EXPECT_EQ(size, 6u);

    DWORD read = 0;
    size = sizeof read;
    EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(read, number);
    RegCloseKey(key);
}

TEST_F(Registry, MissingThingsAreFileNotFound)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NoSuchVendor", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "ProductType", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "WinNT");
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "NoSuchValue", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane");
    setString(key, "Gone", "soon");
    EXPECT_EQ(RegDeleteValueA(key, "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Gone", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Never"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, HandlesAccessAndDeletion)
{
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(setString(readOnly, "Denied", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "Denied"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);

    // A closed handle names nothing any more.
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(readOnly, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY result = nullptr;
    EXPECT_EQ(RegOpenKeyExA(readOnly, "x", 0, KEY_READ, &result), ERROR_INVALID_HANDLE);

    HKEY parent = create(HKEY_CURRENT_USER, "Software\\Parent\\Child");
    RegCloseKey(parent);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_ACCESS_DENIED) << "it has a sub-key";
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Parent", 0, KEY_READ, &result), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, EnumeratesSubKeysUntilNoMoreItems)
{
    for (const char* name : {"Alpha", "Beta", "LongerName"})
        RegCloseKey(create(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\Enum\\") + name).c_str()));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Enum", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<std::string> names;
    char name[256];
    DWORD index = 0;
    LONG rc;
    while ((rc = RegEnumKeyA(key, index, name, sizeof name)) == ERROR_SUCCESS) {
        names.emplace_back(name);
        ++index;
    }
    EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", "LongerName"}));
    EXPECT_EQ(RegEnumKeyA(key, 2, name, 10), ERROR_MORE_DATA) << "\"LongerName\" needs 11 bytes";
    EXPECT_EQ(RegEnumKeyA(key, 2, name, 11), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, ChangesAreSharedBetweenProcesses)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared");
    ASSERT_EQ(setString(key, "Stage", "one"), ERROR_SUCCESS);
    EXPECT_EQ(childReads("SOFTWARE\\Shared", "Stage", "one"), 0);
    ASSERT_EQ(setString(key, "Stage", "two"), ERROR_SUCCESS);
    EXPECT_EQ(childReads("SOFTWARE\\Shared", "Stage", "two"), 0) << "a rewrite reaches the other process";
    EXPECT_EQ(childReads("SOFTWARE\\Shared", "Missing", ""), 2);

    // And the other way: a child's write is seen by this process's open key.
    const pid_t pid = ::fork();
    if (pid == 0) {
        HKEY child = nullptr;
        const bool ok = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_WRITE, &child) == ERROR_SUCCESS &&
                        setString(child, "Stage", "from child") == ERROR_SUCCESS;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    char text[64] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Stage", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "from child");
    RegCloseKey(key);
}

}  // namespace
