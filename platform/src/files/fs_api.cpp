// Files and folders by path, and the system's well-known folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

#include "files/path_map.h"
#include "machine/file_replace.h"
#include "machine/folder_trust.h"
#include "machine/machine_open.h"
#include "machine/owned_fd.h"
#include "platform/machine.h"
#include "platform/win_api.h"
#include "text/codepage.h"

namespace win {

namespace {

namespace fs = std::filesystem;

std::optional<fs::path> hostFile(const std::string& utf8)
{
    auto r = detail::resolvePath(utf8);
    if (r.kind != detail::ResolvedPath::HostFile) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    return r.host;
}

BOOL deletePath(const std::string& utf8)
{
    auto p = hostFile(utf8);
    if (!p)
        return FALSE;
    struct stat st {};
    if (::lstat(p->c_str(), &st) != 0) {
        SetLastError(fs::exists(p->parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || ::unlink(p->c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL makeDirectory(const std::string& utf8)
{
    auto p = hostFile(utf8);
    if (!p)
        return FALSE;
    if (::mkdir(p->c_str(), 0700) != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    ::chmod(p->c_str(), 0700);  // whatever the umask took away
    return TRUE;
}

DWORD attributesOf(const std::string& utf8)
{
    auto p = hostFile(utf8);
    struct stat st {};
    if (!p || ::stat(p->c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
}

template <typename Char>
DWORD putText(const std::basic_string<Char>& text, Char* out, DWORD size)
{
    if (!out || text.size() + 1 > size)
        return static_cast<DWORD>(text.size() + 1);  // the size needed, terminator included
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(text.size());
}

std::string templatesFolder()
{
    // Releases before Vista keep the shared folders under Documents and Settings.
    return machine::current()->readWithoutNames()->settings.os.major >= 6
               ? "C:\\ProgramData\\Microsoft\\Windows\\Templates"
               : "C:\\Documents and Settings\\All Users\\Templates";
}

}  // namespace

BOOL DeleteFileA(LPCSTR path)
{
    const auto utf8 = path ? detail::ansiPathToUtf8(path) : std::nullopt;
    return utf8 ? deletePath(*utf8) : FALSE;
}
BOOL DeleteFileW(LPCWSTR path) { return path ? deletePath(detail::wideToUtf8(detail::wideOf(path))) : FALSE; }

namespace {

// The host files of a copy or a move: a regular source, and a target that
// may be replaced when it exists. None, with the error set, otherwise.
std::optional<std::pair<fs::path, fs::path>> transferEnds(const std::string& from, const std::string& to, bool replace)
{
    auto src = hostFile(from);
    auto dst = hostFile(to);
    if (!src || !dst)
        return std::nullopt;
    std::error_code ec;
    if (!fs::is_regular_file(*src, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    if (!replace && fs::exists(*dst, ec)) {
        SetLastError(ERROR_FILE_EXISTS);
        return std::nullopt;
    }
    return std::pair{*src, *dst};
}

// The copy is made beside the target and renamed over it, so a link at the
// target is replaced rather than written through; a link as the source is
// not followed either. The owner's bits of the source's mode are kept.
bool copyWhole(const fs::path& from, const fs::path& to)
{
    const detail::Fd in(machine::openWithoutLinks(from, O_RDONLY));
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    try {
        machine::NewFileBeside out(to, st.st_mode & S_IRWXU);
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            out.write(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        out.putInPlace();
        return true;
    } catch (const machine::MachineError&) {
        return false;
    }
}

}  // namespace

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    if (!from || !to) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto fromUtf8 = detail::ansiPathToUtf8(from);
    const auto toUtf8 = fromUtf8 ? detail::ansiPathToUtf8(to) : std::nullopt;
    if (!toUtf8)
        return FALSE;
    const auto ends = transferEnds(*fromUtf8, *toUtf8, !failIfExists);
    if (!ends)
        return FALSE;
    if (!fs::exists(ends->second.parent_path())) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!copyWhole(ends->first, ends->second)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (!from || !to) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto ends = transferEnds(detail::wideToUtf8(detail::wideOf(from)), detail::wideToUtf8(detail::wideOf(to)),
                                   (flags & MOVEFILE_REPLACE_EXISTING) != 0);
    if (!ends)
        return FALSE;
    // One volume: a rename, which readers see whole or not at all.
    std::error_code ec;
    fs::rename(ends->first, ends->second, ec);
    if (ec) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    const auto utf8 = path ? detail::ansiPathToUtf8(path) : std::nullopt;
    return utf8 ? makeDirectory(*utf8) : FALSE;
}
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES)
{
    return path ? makeDirectory(detail::wideToUtf8(detail::wideOf(path))) : FALSE;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    const auto utf8 = path ? detail::ansiPathToUtf8(path) : std::nullopt;
    return utf8 ? attributesOf(*utf8) : INVALID_FILE_ATTRIBUTES;
}
DWORD GetFileAttributesW(LPCWSTR path)
{
    return path ? attributesOf(detail::wideToUtf8(detail::wideOf(path))) : INVALID_FILE_ATTRIBUTES;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    std::error_code ec;
    return putText(detail::utf8ToAnsi(fs::current_path(ec).string()), buffer, size);
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer)
{
    std::error_code ec;
    return putText(detail::utf8ToWide(fs::current_path(ec).string()), buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return putText(std::string("C:\\Windows"), buffer, size); }
UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return putText(std::string("C:\\Windows\\system32"), buffer, size); }

BOOL SHGetSpecialFolderPathA(void*, LPSTR path, int folder, BOOL create)
{
    if (!path)
        return FALSE;
    std::string text;
    switch (folder) {
    case CSIDL_COMMON_TEMPLATES:
        text = templatesFolder();
        break;
    case CSIDL_WINDOWS:
        text = "C:\\Windows";
        break;
    case CSIDL_SYSTEM:
        text = "C:\\Windows\\system32";
        break;
    case CSIDL_COMMON_APPDATA:
        text = machine::current()->readWithoutNames()->settings.os.major >= 6
                   ? "C:\\ProgramData"
                   : "C:\\Documents and Settings\\All Users\\Application Data";
        break;
    case CSIDL_APPDATA:
        text = "C:\\Users\\Operator\\AppData\\Roaming";
        break;
    default:
        return FALSE;
    }
    auto host = detail::resolvePath(text).host;
    std::error_code ec;
    if (!fs::is_directory(host, ec)) {
        if (!create)
            return FALSE;
        try {
            machine::makeOwnFolders(host);
        } catch (const std::exception&) {
            return FALSE;
        }
    }
    if (text.size() >= MAX_PATH)
        return FALSE;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return TRUE;
}

}  // namespace win
