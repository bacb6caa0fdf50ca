// Walks of the present devices of one SetupAPI class.
#pragma once

#include <functional>
#include <string>

#include "platform/win_api.h"

namespace kx {

constexpr win::DWORD kInstanceIdSize = 1024;

// Calls visit with the instance id of every present device of the class,
// in Windows' order, until visit returns false. False when the class could
// not be enumerated.
bool forEachPresentDevice(const win::GUID& deviceClass,
                          const std::function<bool(win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id)>& visit);

// The device's friendly name, empty when it has none.
std::string friendlyNameOf(win::HDEVINFO set, win::SP_DEVINFO_DATA& data);

std::string upperCase(std::string text);
// The part after the last backslash, empty when there is none.
std::string lastPart(const std::string& id);

}  // namespace kx
