// Windows base types, constants and error codes, as the storage library and the
// application use them. Layouts follow the 32-bit Windows build of the tool.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BYTE = std::uint8_t;
using BOOLEAN = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using LANGID = std::uint16_t;
using WCHAR = char16_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using HANDLE = void*;
using HKEY = struct RegKeyObject*;
using HDEVINFO = void*;
using HMODULE = struct ModuleObject*;
using FARPROC = void (*)();
using REGSAM = DWORD;
using SIZE_T = std::size_t;
using HWND = struct WindowObject*;
using HINSTANCE = HMODULE;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using PDWORD_PTR = DWORD_PTR*;

// Drive changes told to the shell and broadcast to the top-level windows.
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(0xFFFF));
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT SMTO_ABORTIFHUNG = 0x0002;
constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVEPENDING = 0x8003;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr std::uint32_t DBT_DEVTYP_VOLUME = 2;
struct DEV_BROADCAST_VOLUME {
    std::uint32_t dbcv_size;
    std::uint32_t dbcv_devicetype;
    std::uint32_t dbcv_reserved;
    std::uint32_t dbcv_unitmask;  // bit 0: A:
    std::uint16_t dbcv_flags;
};
static_assert(sizeof(DEV_BROADCAST_VOLUME) == 20);
constexpr LONG SHCNE_DRIVEREMOVED = 0x80;
constexpr LONG SHCNE_DRIVEADD = 0x100;
constexpr UINT SHCNF_PATHA = 0x0001;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFF;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD MAX_PATH = 260;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PULARGE_INTEGER = ULARGE_INTEGER*;

struct POINT {
    LONG x;
    LONG y;
};

// System error codes (GetLastError, registry results).
enum : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_INVALID_FUNCTION = 1,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_BAD_FORMAT = 11,
    ERROR_INVALID_DRIVE = 15,
    ERROR_NO_MORE_FILES = 18,
    ERROR_WRITE_PROTECT = 19,
    ERROR_NOT_READY = 21,
    ERROR_CRC = 23,
    ERROR_SECTOR_NOT_FOUND = 27,
    ERROR_WRITE_FAULT = 29,
    ERROR_READ_FAULT = 30,
    ERROR_SHARING_VIOLATION = 32,
    ERROR_LOCK_VIOLATION = 33,
    ERROR_HANDLE_EOF = 38,
    ERROR_NOT_SUPPORTED = 50,
    ERROR_FILE_EXISTS = 80,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_INVALID_WINDOW_HANDLE = 1400,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_INVALID_NAME = 123,
    ERROR_MOD_NOT_FOUND = 126,
    ERROR_PROC_NOT_FOUND = 127,
    ERROR_DIR_NOT_EMPTY = 145,
    ERROR_NOT_LOCKED = 158,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_MORE_DATA = 234,
    ERROR_WAIT_TIMEOUT = 258,
    ERROR_NO_MORE_ITEMS = 259,
    ERROR_NOT_OWNER = 288,
    ERROR_NO_SUCH_DEVICE = 433,
    ERROR_UNRECOGNIZED_VOLUME = 1005,
    ERROR_DEVICE_NOT_CONNECTED = 1167,
};

// File access, sharing, disposition and flags.
enum : DWORD {
    GENERIC_READ = 0x80000000,
    GENERIC_WRITE = 0x40000000,
    GENERIC_EXECUTE = 0x20000000,
    GENERIC_ALL = 0x10000000,
    FILE_SHARE_READ = 0x1,
    FILE_SHARE_WRITE = 0x2,
    FILE_SHARE_DELETE = 0x4,
    CREATE_NEW = 1,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    OPEN_ALWAYS = 4,
    TRUNCATE_EXISTING = 5,
    FILE_ATTRIBUTE_READONLY = 0x1,
    FILE_ATTRIBUTE_DIRECTORY = 0x10,
    FILE_ATTRIBUTE_ARCHIVE = 0x20,
    FILE_ATTRIBUTE_NORMAL = 0x80,
    FILE_FLAG_WRITE_THROUGH = 0x80000000,
    FILE_FLAG_NO_BUFFERING = 0x20000000,
    FILE_BEGIN = 0,
    FILE_CURRENT = 1,
    FILE_END = 2,
};
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct OVERLAPPED {
    std::uintptr_t Internal;
    std::uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

// MoveFileEx flags.
enum : DWORD {
    MOVEFILE_REPLACE_EXISTING = 0x1,
};

// DefineDosDevice flags.
enum : DWORD {
    DDD_RAW_TARGET_PATH = 0x1,
    DDD_REMOVE_DEFINITION = 0x2,
    DDD_EXACT_MATCH_ON_REMOVE = 0x4,
    DDD_NO_BROADCAST_SYSTEM = 0x8,
};

// Wait results.
enum : DWORD {
    WAIT_OBJECT_0 = 0,
    WAIT_ABANDONED = 0x80,
    WAIT_TIMEOUT = 0x102,
    WAIT_FAILED = 0xFFFFFFFF,
};

// Version information.
enum : DWORD {
    VER_PLATFORM_WIN32s = 0,
    VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_NT = 2,
};
enum : BYTE {
    VER_NT_WORKSTATION = 1,
    VER_NT_DOMAIN_CONTROLLER = 2,
    VER_NT_SERVER = 3,
};
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

// Code pages.
enum : UINT {
    CP_ACP = 0,
    CP_OEMCP = 1,
    CP_UTF8 = 65001,
};

// Process creation.
enum : DWORD {
    CREATE_NO_WINDOW = 0x08000000,
    STILL_ACTIVE = 259,
};
struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Shell folders.
enum : int {
    CSIDL_APPDATA = 0x1A,
    CSIDL_COMMON_APPDATA = 0x23,
    CSIDL_COMMON_TEMPLATES = 0x2D,
    CSIDL_WINDOWS = 0x24,
    CSIDL_SYSTEM = 0x25,
};

// Language ids the machine can be set to.
enum : LANGID {
    LANG_ID_CHINESE_SIMPLIFIED = 0x0804,
    LANG_ID_CHINESE_TRADITIONAL = 0x0404,
    LANG_ID_CHINESE_HONGKONG = 0x0C04,
    LANG_ID_ENGLISH_US = 0x0409,
};

}  // namespace win
