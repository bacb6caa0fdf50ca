// FindFirstFile / FindNextFile over a folder with * and ? patterns.
#include <fnmatch.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "files/path_map.h"
#include "platform/win_api.h"
#include "system/handles.h"
#include "text/codepage.h"
#include "text/text_util.h"

namespace win {

namespace {

namespace fs = std::filesystem;

struct FoundEntry {
    std::string name;  // UTF-8
    bool directory = false;
    std::uint64_t size = 0;
};

struct FindObject : detail::HandleObject {
    std::vector<FoundEntry> entries;
    std::size_t next = 0;
};

bool matches(const std::string& pattern, const std::string& name)
{
    if (pattern == "*" || pattern == "*.*")
        return true;
    return ::fnmatch(machine::toUpper(pattern).c_str(), machine::toUpper(name).c_str(), FNM_NOESCAPE) == 0;
}

HANDLE findFirst(const std::string& utf8Pattern, FoundEntry* first)
{
    const auto cut = utf8Pattern.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? "." : utf8Pattern.substr(0, cut);
    const std::string pattern = cut == std::string::npos ? utf8Pattern : utf8Pattern.substr(cut + 1);
    auto r = detail::resolvePath(folder.empty() ? "\\" : folder);
    std::error_code ec;
    if (r.kind != detail::ResolvedPath::HostFile || !fs::is_directory(r.host, ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FindObject>();
    for (const auto& entry : fs::directory_iterator(r.host, ec)) {
        const std::string name = entry.path().filename().string();
        if (!matches(pattern, name))
            continue;
        const bool dir = entry.is_directory(ec);
        object->entries.push_back({name, dir, dir ? 0 : static_cast<std::uint64_t>(entry.file_size(ec))});
    }
    if (object->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *first = object->entries[object->next++];
    return detail::registerHandle(object);
}

bool findNext(HANDLE handle, FoundEntry* entry)
{
    auto object = detail::lookupAs<FindObject>(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (object->next >= object->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    *entry = object->entries[object->next++];
    return true;
}

template <typename Data, typename Text>
void fill(const FoundEntry& e, Data* data, const Text& name)
{
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = e.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(e.size);
    const std::size_t n = std::min<std::size_t>(name.size(), MAX_PATH - 1);
    std::memcpy(data->cFileName, name.data(), n * sizeof(name[0]));
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data)
{
    FoundEntry e;
    const auto utf8 = pattern ? detail::ansiPathToUtf8(pattern) : std::nullopt;
    HANDLE h = utf8 ? findFirst(*utf8, &e) : INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE && data)
        fill(e, data, detail::utf8ToAnsi(e.name));
    return h;
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data)
{
    FoundEntry e;
    HANDLE h = pattern ? findFirst(detail::wideToUtf8(detail::wideOf(pattern)), &e) : INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE && data)
        fill(e, data, detail::utf8ToWide(e.name));
    return h;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data)
{
    FoundEntry e;
    if (!findNext(find, &e))
        return FALSE;
    if (data)
        fill(e, data, detail::utf8ToAnsi(e.name));
    return TRUE;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data)
{
    FoundEntry e;
    if (!findNext(find, &e))
        return FALSE;
    if (data)
        fill(e, data, detail::utf8ToWide(e.name));
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    if (!detail::lookupAs<FindObject>(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(find);
}

}  // namespace win
