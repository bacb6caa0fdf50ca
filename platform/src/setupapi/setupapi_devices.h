// Device information sets: the elements the SetupAPI functions share.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_setupapi.h"
#include "system/handles.h"

namespace win::detail {

struct Device {
    GUID classGuid{};
    std::string instanceId;
    std::string friendlyName;
    std::string description;
    std::string className;
    std::string service;
    std::string manufacturer;
    std::vector<std::string> hardwareIds;
    int diskSlot = -1;  // disk drives: the machine's disk
    std::optional<SP_PROPCHANGE_PARAMS> propChange;  // class install parameters set on it
    DWORD installFlags = 0;                          // DI_* flags of its install parameters
};

struct DeviceInfoSet : HandleObject {
    std::vector<Device> devices;
};

// The element of a set that data names, with the set kept alive. None, with
// the last error set, when either is wrong.
struct DeviceRef {
    std::shared_ptr<DeviceInfoSet> set;
    Device* device = nullptr;
};
std::optional<DeviceRef> deviceAt(HDEVINFO set, const SP_DEVINFO_DATA* data);

}  // namespace win::detail
