// fopen with Windows paths.
#include "codepage.h"
#include "path_map.h"
#include "platform/win_api.h"

namespace win {

namespace {

std::FILE* openResolved(const std::string& utf8Path, std::string mode)
{
    auto r = detail::resolvePath(utf8Path);
    if (r.kind != detail::ResolvedPath::HostFile) {
        errno = ENOENT;
        return nullptr;
    }
    // Text and binary read the same bytes here; text readers drop the CR.
    std::string hostMode;
    for (char c : mode)
        if (c != 't' && c != ',')
            hostMode += c;
        else if (c == ',')
            break;  // ", ccs=..." encodings are the caller's business
    return std::fopen(r.host.c_str(), hostMode.c_str());
}

}  // namespace

std::FILE* fopen(const char* path, const char* mode)
{
    if (!path || !mode || !*path)
        return nullptr;
    return openResolved(detail::ansiToUtf8(path), mode);
}

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode)
{
    if (!path || !mode || !*path)
        return nullptr;
    return openResolved(detail::wideToUtf8(detail::wideOf(path)), detail::wideToUtf8(detail::wideOf(mode)));
}

}  // namespace win
