// Device information sets: a snapshot of the disk drives and USB devices of
// the machine, with the registry properties Windows reports for them.
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/machine.h"
#include "platform/win_api.h"
#include "registry/registry_tree.h"
#include "setupapi/setupapi_devices.h"
#include "system/handles.h"
#include "text/text_util.h"

namespace win {

namespace {

constexpr DWORD kErrorInvalidData = 13;
constexpr const char* kRootHubId = "USB\\ROOT_HUB20\\4&1C2F3A4B&0";

using detail::Device;
using detail::DeviceInfoSet;

// SCSI identity fields padded with underscores to their width, as the
// USB storage driver spells them in hardware ids.
std::string padded(const std::string& text, size_t width)
{
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    for (char& c : out)
        if (c == ' ')
            c = '_';
    return out;
}

Device diskDrive(const machine::Disk& disk)
{
    const std::string bus = disk.usb ? "USBSTOR" : "SCSI";
    const std::string vendor = padded(disk.vendor, 8), product = padded(disk.product, 16);
    const std::string revision = padded(disk.revision, 4);
    Device d;
    d.classGuid = GUID_DEVCLASS_DISKDRIVE;
    d.instanceId = machine::diskInstanceId(disk);
    d.diskSlot = disk.slot;
    d.friendlyName = machine::friendlyNameOf(disk);
    d.description = "Disk drive";
    d.className = "DiskDrive";
    d.service = "disk";
    d.manufacturer = "(Standard disk drives)";
    d.hardwareIds = {bus + "\\Disk" + vendor + product + revision,
                     bus + "\\Disk" + vendor + product,
                     bus + "\\Disk" + vendor,
                     bus + "\\" + vendor + product + revision.substr(0, 1),
                     vendor + product + revision.substr(0, 1),
                     bus + "\\GenDisk",
                     "GenDisk"};
    return d;
}

Device usbParent(const machine::Disk& disk)
{
    char ids[40];
    std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X", disk.vid, disk.pid);
    Device d;
    d.classGuid = GUID_DEVCLASS_USB;
    d.instanceId = machine::usbInstanceId(disk);
    d.friendlyName = "USB Mass Storage Device";
    d.description = "USB Mass Storage Device";
    d.className = "USB";
    d.service = "USBSTOR";
    d.manufacturer = "Compatible USB storage device";
    d.hardwareIds = {std::string(ids) + "&REV_0100", ids};
    return d;
}

Device rootHub()
{
    Device d;
    d.classGuid = GUID_DEVCLASS_USB;
    d.instanceId = kRootHubId;
    d.friendlyName = "USB Root Hub";
    d.description = "USB Root Hub";
    d.className = "USB";
    d.service = "usbhub";
    d.manufacturer = "(Standard USB Host Controller)";
    d.hardwareIds = {"USB\\ROOT_HUB20"};
    return d;
}

std::string guidText(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::vector<std::uint8_t> sz(const std::string& text)
{
    std::vector<std::uint8_t> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> multiSz(const std::vector<std::string>& texts)
{
    std::vector<std::uint8_t> out;
    for (const auto& t : texts) {
        out.insert(out.end(), t.begin(), t.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

// Properties the class installer may have stored in the device's key.
std::optional<machine::reg::Value> enumKeyValue(const std::string& instanceId, const char* name)
{
    try {
        const auto state = machine::current()->readWithoutNames();
        const auto* key =
            machine::reg::findKey(state->registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + instanceId);
        return key ? machine::reg::getValue(*key, name) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<machine::reg::Value> propertyOf(const Device& d, DWORD property)
{
    switch (property) {
    case SPDRP_DEVICEDESC:
        return machine::reg::Value{REG_SZ, sz(d.description)};
    case SPDRP_HARDWAREID:
        return machine::reg::Value{REG_MULTI_SZ, multiSz(d.hardwareIds)};
    case SPDRP_SERVICE:
        return machine::reg::Value{REG_SZ, sz(d.service)};
    case SPDRP_CLASS:
        return machine::reg::Value{REG_SZ, sz(d.className)};
    case SPDRP_CLASSGUID:
        return machine::reg::Value{REG_SZ, sz(guidText(d.classGuid))};
    case SPDRP_MFG:
        return machine::reg::Value{REG_SZ, sz(d.manufacturer)};
    case SPDRP_FRIENDLYNAME:
        return machine::reg::Value{REG_SZ, sz(d.friendlyName)};
    case SPDRP_UPPERFILTERS:
        return enumKeyValue(d.instanceId, "UpperFilters");
    case SPDRP_LOWERFILTERS:
        return enumKeyValue(d.instanceId, "LowerFilters");
    default:
        return std::nullopt;
    }
}

bool wanted(const Device& d, const GUID* classGuid, DWORD flags, LPCSTR enumerator)
{
    if (!(flags & DIGCF_ALLCLASSES) && !(d.classGuid == *classGuid))
        return false;
    return !enumerator || !*enumerator ||
           machine::startsWithNoCase(d.instanceId, std::string(enumerator) + "\\");
}

// The device a caller's SP_DEVINFO_DATA stands for in the set.
std::optional<Device> deviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data)
{
    const auto ref = detail::deviceAt(set, data);
    return ref ? std::optional<Device>(*ref->device) : std::nullopt;
}

// A disabled node is still listed; only its disk has gone.
bool listed(const machine::Disk& disk, bool presentOnly) { return disk.present || disk.disabled || !presentOnly; }

}  // namespace

std::optional<detail::DeviceRef> detail::deviceAt(HDEVINFO set, const SP_DEVINFO_DATA* data)
{
    auto devices = detail::lookupAs<DeviceInfoSet>(set);
    if (!devices) {
        SetLastError(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved == 0 ||
        data->Reserved > devices->devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    Device* device = &devices->devices[data->Reserved - 1];
    return DeviceRef{std::move(devices), device};
}

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, void*, DWORD flags)
{
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    if (!(flags & DIGCF_DEVICEINTERFACE)) {
        std::shared_ptr<const machine::State> state;
        try {
            auto m = machine::current();
            machine::followHostDisks(*m);  // an enumeration sees the host's disks as they are now
            state = m->readWithoutNames();
        } catch (const std::exception&) {
            SetLastError(kErrorInvalidData);
            return INVALID_HANDLE_VALUE;
        }
        const bool presentOnly = flags & DIGCF_PRESENT;
        std::vector<Device> all;
        for (const auto& disk : state->disks)
            if (listed(disk, presentOnly))
                all.push_back(diskDrive(disk));
        all.push_back(rootHub());
        for (const auto& disk : state->disks)
            if (disk.usb && listed(disk, presentOnly))
                all.push_back(usbParent(disk));
        for (auto& d : all)
            if (wanted(d, classGuid, flags, enumerator))
                set->devices.push_back(std::move(d));
    }
    return detail::registerHandle(set);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data)
{
    auto devices = detail::lookupAs<DeviceInfoSet>(set);
    if (!devices) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (index >= devices->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = devices->devices[index].classGuid;
    data->DevInst = index + 1;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, SP_DEVINFO_DATA* data, LPSTR id, DWORD size, LPDWORD required)
{
    const auto device = deviceOf(set, data);
    if (!device)
        return FALSE;
    const auto needed = static_cast<DWORD>(device->instanceId.size() + 1);
    if (required)
        *required = needed;
    if (!id || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(id, device->instanceId.c_str(), needed);
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, LPDWORD type,
                                       BYTE* buffer, DWORD size, LPDWORD required)
{
    const auto device = deviceOf(set, data);
    if (!device)
        return FALSE;
    const auto value = propertyOf(*device, property);
    if (!value) {
        SetLastError(kErrorInvalidData);
        return FALSE;
    }
    const auto needed = static_cast<DWORD>(value->data.size());
    if (type)
        *type = value->type;
    if (required)
        *required = needed;
    if (!buffer || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value->data.data(), needed);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (!detail::lookupAs<DeviceInfoSet>(set) || !detail::unregisterHandle(set)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
