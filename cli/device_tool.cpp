#include "cli/device_tool.h"

#include <filesystem>
#include <string>

#include "cli/library_session.h"
#include "platform/win_api.h"

namespace cli {

void placeDeviceTool()
{
    const std::filesystem::path tool = deviceToolProgram();
    if (tool.empty())
        throw CommandFailure("cmddev, which restarts the device after an upgrade, is neither beside orvane nor in "
                             "its helpers' folder; nothing was written");
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
