#include "files/path_map.h"

#include <cctype>
#include <system_error>
#include <vector>

#include "platform/machine.h"
#include "text/text_util.h"

namespace win::detail {

namespace fs = std::filesystem;

namespace {

// Windows names are case-insensitive: take the entry that exists under any case.
fs::path matchCase(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    if (name == "." || name == ".." || fs::exists(dir / name, ec))
        return dir / name;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (machine::equalsNoCase(entry.path().filename().string(), name))
            return entry.path();
    return dir / name;
}

fs::path underFolder(const fs::path& root, std::string_view relative)
{
    fs::path p = root;
    for (const auto& part : machine::splitNames("\\/", relative))
        p = matchCase(p, part);
    return p;
}

bool isLetterPath(std::string_view path)
{
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) &&
           (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

}  // namespace

ResolvedPath resolvePath(std::string_view path)
{
    ResolvedPath r;
    if (path.empty())
        return r;
    if (path.starts_with("\\\\.\\") || path.starts_with("\\\\?\\")) {
        std::string_view rest = path.substr(4);
        if (isLetterPath(rest) && rest.size() > 3) {
            // \\?\C:\dir is a plain file path with the long-path prefix.
            return resolvePath(rest);
        }
        r.kind = ResolvedPath::Device;
        r.device = std::string(rest);
        return r;
    }
    if (path.starts_with("\\\\") || path.starts_with("\\Device\\") || path.starts_with("\\??\\"))
        return r;  // network shares and kernel paths are not file paths
    if (isLetterPath(path)) {
        // Only C: has files here; the appliance's volumes are reached raw.
        if (std::toupper(static_cast<unsigned char>(path[0])) != 'C')
            return r;
        r.kind = ResolvedPath::HostFile;
        r.host = underFolder(machine::current()->driveC(), path.substr(2));
        return r;
    }
    std::string host(path);
    for (auto& c : host)
        if (c == '\\')
            c = '/';
    r.kind = ResolvedPath::HostFile;
    r.host = fs::path(host);
    return r;
}

fs::path hostPathOfC(std::string_view relative) { return underFolder(machine::current()->driveC(), relative); }

}  // namespace win::detail
