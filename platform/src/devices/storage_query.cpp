// IOCTL_STORAGE_QUERY_PROPERTY: the standard device descriptor.
#include <algorithm>
#include <cstring>
#include <vector>

#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"
#include "text/text_util.h"

namespace win::detail {

BOOL storageQueryProperty(IoctlCall& call)
{
    if (!call.in || call.inSize < sizeof(STORAGE_PROPERTY_QUERY))
        return failIoctl(ERROR_INVALID_PARAMETER);
    STORAGE_PROPERTY_QUERY query;
    std::memcpy(&query, call.in, sizeof query);
    if (query.PropertyId != StorageDeviceProperty)
        return failIoctl(ERROR_INVALID_FUNCTION);
    if (query.QueryType == PropertyExistsQuery)
        return TRUE;
    if (query.QueryType != PropertyStandardQuery)
        return failIoctl(ERROR_INVALID_PARAMETER);

    const machine::Disk& d = call.disk;
    std::vector<std::uint8_t> answer(sizeof(STORAGE_DEVICE_DESCRIPTOR));
    auto append = [&](const std::string& text) {
        const DWORD offset = static_cast<DWORD>(answer.size());
        answer.insert(answer.end(), text.begin(), text.end());
        answer.push_back(0);
        return offset;
    };
    STORAGE_DEVICE_DESCRIPTOR desc{};
    desc.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    desc.DeviceType = 0;
    desc.RemovableMedia = d.removable;
    desc.VendorIdOffset = append(machine::trimRight(d.vendor));
    desc.ProductIdOffset = append(machine::trimRight(d.product));
    desc.ProductRevisionOffset = append(machine::trimRight(d.revision));
    desc.SerialNumberOffset = append(d.serial);
    desc.BusType = d.usb ? BusTypeUsb : (machine::trimRight(d.vendor) == "ATA" ? BusTypeSata : BusTypeScsi);
    desc.Size = static_cast<DWORD>(answer.size());
    std::memcpy(answer.data(), &desc, sizeof desc);

    // A short buffer gets what fits; Version and Size tell the caller the rest.
    if (!call.out || call.outSize < 8)
        return failIoctl(ERROR_INSUFFICIENT_BUFFER);
    const DWORD n = std::min<DWORD>(call.outSize, static_cast<DWORD>(answer.size()));
    std::memcpy(call.out, answer.data(), n);
    *call.returned = n;
    return TRUE;
}

}  // namespace win::detail
