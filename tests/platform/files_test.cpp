// Files by Windows path: C: inside the machine, host paths, sharing,
// dispositions, folders and patterns.
#include <fstream>
#include <string>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class Files : public testing_support::TempMachine {
protected:
    HANDLE create(const char* path, DWORD access, DWORD share, DWORD disposition)
    {
        return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string hostText(const std::filesystem::path& p)
    {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(Files, DriveCIsTheMachinesFolderWhateverTheCase)
{
    HANDLE h = create("C:\\WINDOWS\\kxtest.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(hostText(m().driveC() / "Windows" / "kxtest.txt"), "hello");

    char windows[MAX_PATH];
    ASSERT_EQ(GetWindowsDirectoryA(windows, sizeof windows), 10u);
    EXPECT_STREQ(windows, "C:\\Windows");
    char templates[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, templates, CSIDL_COMMON_TEMPLATES, FALSE));
    EXPECT_STREQ(templates, "C:\\ProgramData\\Microsoft\\Windows\\Templates");
    machine::setSetting(m(), "os", "xp");
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, templates, CSIDL_COMMON_TEMPLATES, FALSE));
    EXPECT_STREQ(templates, "C:\\Documents and Settings\\All Users\\Templates");
    EXPECT_EQ(GetFileAttributesA(templates), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Files, HostPathsTakeBackslashesAsSeparators)
{
    const std::string dir = dir_.parent_path().string();
    std::FILE* f = win::fopen((dir + "\\.\\log.txt").c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs("line\n", f);
    std::fclose(f);
    EXPECT_EQ(hostText(dir_.parent_path() / "log.txt"), "line\n");
    EXPECT_EQ(win::fopen("D:\\nothing.txt", "r"), nullptr) << "appliance volumes hold no files here";
}

TEST_F(Files, DispositionsAndSharing)
{
    const std::string path = (dir_.parent_path() / "f.bin").string();
    EXPECT_EQ(create(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE a = create(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(a, "abcdef", 6, &n, nullptr);
    EXPECT_EQ(create(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    // A writer that shares only reading admits readers that share writing.
    HANDLE reader = create(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    // Truncation is refused before it happens: the data stays.
    EXPECT_EQ(create(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    char buf[8] = {};
    OVERLAPPED at{};
    at.Offset = 2;
    ASSERT_TRUE(ReadFile(reader, buf, 8, &n, &at));
    EXPECT_EQ(std::string(buf, n), "cdef");
    CloseHandle(reader);
    CloseHandle(a);

    HANDLE again = create(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(again, &size));
    EXPECT_EQ(size.QuadPart, 0);
    CloseHandle(again);
    EXPECT_FALSE(CloseHandle(again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, FoldersCopiesAndPatterns)
{
    ASSERT_TRUE(CreateDirectoryA("C:\\logs", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\logs", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    for (const char* name : {"C:\\logs\\2026-12-01_upgrade.txt", "C:\\logs\\2026-12-02_upgrade.txt", "C:\\logs\\other.log"}) {
        HANDLE h = create(name, GENERIC_WRITE, 0, CREATE_NEW);
        CloseHandle(h);
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\logs\\*_UPGRADE.txt", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int found = 1;
    while (FindNextFileA(find, &data))
        ++found;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(found, 2);
    FindClose(find);
    EXPECT_EQ(FindFirstFileA("C:\\logs\\*.none", &data), INVALID_HANDLE_VALUE);

    ASSERT_TRUE(CopyFileA("C:\\logs\\other.log", "C:\\logs\\copy.log", TRUE));
    EXPECT_FALSE(CopyFileA("C:\\logs\\other.log", "C:\\logs\\copy.log", TRUE));
    EXPECT_FALSE(CopyFileA("C:\\logs\\missing.log", "C:\\logs\\x.log", FALSE));
    ASSERT_TRUE(DeleteFileA("C:\\logs\\copy.log"));
    EXPECT_FALSE(DeleteFileA("C:\\logs\\copy.log"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
