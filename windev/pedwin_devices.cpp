#include "windev/pedwin_devices.h"

#include <cctype>

namespace kx {

bool forEachPresentDevice(const win::GUID& deviceClass,
                          const std::function<bool(win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id)>& visit)
{
    win::HDEVINFO set = win::SetupDiGetClassDevsA(&deviceClass, nullptr, nullptr, win::DIGCF_PRESENT);
    if (set == win::INVALID_HANDLE_VALUE)
        return false;
    win::SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (win::DWORD index = 0; win::SetupDiEnumDeviceInfo(set, index, &data); ++index) {
        char id[kInstanceIdSize] = {};
        if (!win::SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr))
            continue;
        if (!visit(set, data, id))
            break;
    }
    win::SetupDiDestroyDeviceInfoList(set);
    return true;
}

std::string friendlyNameOf(win::HDEVINFO set, win::SP_DEVINFO_DATA& data)
{
    char name[kInstanceIdSize] = {};
    if (!win::SetupDiGetDeviceRegistryPropertyA(set, &data, win::SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<win::BYTE*>(name), sizeof name - 1, nullptr))
        return {};
    return name;
}

std::string upperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string lastPart(const std::string& id)
{
    const auto slash = id.rfind('\\');
    return slash == std::string::npos ? std::string() : id.substr(slash + 1);
}

}  // namespace kx
