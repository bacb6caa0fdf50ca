#include "platform/helper_programs.h"

#include <dlfcn.h>
#include <unistd.h>

#include <system_error>

namespace machine {

namespace fs = std::filesystem;

// The helpers' folder as seen from the programs' folder of the same prefix,
// so a tree moved or unpacked elsewhere keeps working.
#ifndef ORVANE_HELPERS_FROM_PROGRAMS
#define ORVANE_HELPERS_FROM_PROGRAMS "../libexec/orvane-config"
#endif

namespace {

fs::path ownProgramFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

fs::path installedHelperFolder()
{
    const fs::path own = ownProgramFolder();
    return own.empty() ? fs::path() : (own / ORVANE_HELPERS_FROM_PROGRAMS).lexically_normal();
}

}  // namespace

fs::path platformLibraryFolder()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<const void*>(&platformLibraryFolder), &info) || !info.dli_fname)
        return {};
    std::error_code ec;
    const fs::path library = fs::canonical(info.dli_fname, ec);
    return ec ? fs::path() : library.parent_path();
}

fs::path helperProgram(std::string_view name)
{
    for (const fs::path& folder : {ownProgramFolder(), installedHelperFolder()}) {
        if (folder.empty())
            continue;
        std::error_code ec;
        const fs::path candidate = folder / name;
        if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

}  // namespace machine
