// fopen with Windows paths.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/path_map.h"
#include "machine/machine_open.h"
#include "platform/win_api.h"
#include "text/codepage.h"

namespace win {

namespace {

// The open(2) flags of an fopen mode ("r", "w+", "ab", ...); -1 for none.
int openFlagsOf(const std::string& mode)
{
    if (mode.empty())
        return -1;
    const bool plus = mode.find('+') != std::string::npos;
    switch (mode[0]) {
    case 'r':
        return plus ? O_RDWR : O_RDONLY;
    case 'w':
        return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
        return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
        return -1;
    }
}

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
    const int flags = openFlagsOf(hostMode);
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    // A link planted in the machine is never followed; new files are the owner's.
    const int fd = machine::openWithoutLinks(r.host, flags | (hostMode.find('x') != std::string::npos ? O_EXCL : 0));
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, hostMode.c_str());
    if (!file)
        ::close(fd);
    return file;
}

}  // namespace

std::FILE* fopen(const char* path, const char* mode)
{
    if (!path || !mode || !*path)
        return nullptr;
    const auto utf8 = detail::ansiPathToUtf8(path);
    if (!utf8) {
        errno = EILSEQ;
        return nullptr;
    }
    return openResolved(*utf8, mode);
}

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode)
{
    if (!path || !mode || !*path)
        return nullptr;
    return openResolved(detail::wideToUtf8(detail::wideOf(path)), detail::wideToUtf8(detail::wideOf(mode)));
}

}  // namespace win
