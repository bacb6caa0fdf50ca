#include "cli/device_tool.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "cli/library_session.h"
#include "platform/win_api.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// Only the way from the programs' folder to the helpers' is compiled in.
#ifndef ORVANE_HELPERS_FROM_PROGRAMS
#define ORVANE_HELPERS_FROM_PROGRAMS "../libexec/orvane-config"
#endif

fs::path ownFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        throw CommandFailure("the folder of orvane could not be found");
    return self.parent_path();
}

}  // namespace

void placeDeviceTool()
{
    // Beside orvane in the build tree, in the helpers' folder when installed.
    const fs::path own = ownFolder();
    const fs::path installed = (own / ORVANE_HELPERS_FROM_PROGRAMS).lexically_normal();
    std::error_code ec;
    fs::path tool = own / "cmddev";
    if (!fs::is_regular_file(tool, ec))
        tool = installed / "cmddev";
    if (!fs::is_regular_file(tool, ec))
        throw CommandFailure("cmddev, which restarts the device after an upgrade, is in neither " + own.string() +
                             " nor " + installed.string() + "; nothing was written");
    char folder[win::MAX_PATH] = {};
    if (!win::SHGetSpecialFolderPathA(nullptr, folder, win::CSIDL_COMMON_TEMPLATES, win::TRUE))
        throw CommandFailure("the shared templates folder could not be made; nothing was written");
    const std::string target = std::string(folder) + "\\cmddev.exe";
    // A copy that is running right now cannot be replaced; it does as well.
    if (!win::CopyFileA(tool.c_str(), target.c_str(), win::FALSE) &&
        win::GetFileAttributesA(target.c_str()) == win::INVALID_FILE_ATTRIBUTES)
        throw CommandFailure("cmddev could not be copied to " + target + "; nothing was written");
}

}  // namespace cli
