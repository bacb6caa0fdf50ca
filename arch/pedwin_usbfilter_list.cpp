// A disk drive's upper filter list: reading it, writing kxusbflt into it,
// and taking kxusbflt out again.
#include <array>
#include <cctype>
#include <cstring>

#include "windev/pedwin_devices.h"
#include "arch/pedwin_usbfilter.h"

namespace kx {

namespace {

using source::pedWinBase;

// The list as it is read and written: a multi-string in 1024 bytes.
using FilterBuffer = std::array<win::BYTE, 1024>;

bool readList(win::HDEVINFO set, win::SP_DEVINFO_DATA& data, FilterBuffer& list)
{
    list.fill(0);
    return win::SetupDiGetDeviceRegistryPropertyA(set, &data, win::SPDRP_UPPERFILTERS, nullptr, list.data(),
                                                  list.size(), nullptr) != win::FALSE;
}

bool sameNameNoCase(const char* a, std::size_t length, const char* b)
{
    if (std::strlen(b) != length)
        return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The list without kxusbflt. Other filters belong to other software and stay.
FilterBuffer withoutOurFilter(const FilterBuffer& current)
{
    FilterBuffer kept{};
    std::size_t at = 0;
    for (std::size_t from = 0; from < current.size() && current[from] != 0;) {
        const char* name = reinterpret_cast<const char*>(&current[from]);
        const std::size_t length = strnlen(name, current.size() - from);
        if (!sameNameNoCase(name, length, kUsbFilterName) && at + length + 1 < kept.size()) {
            std::memcpy(&kept[at], name, length);
            at += length + 1;
        }
        from += length + 1;
    }
    return kept;
}

FilterBuffer attachedList()
{
    FilterBuffer list{};
    std::memcpy(list.data(), kUsbFilterName, std::strlen(kUsbFilterName));
    return list;
}

}  // namespace

PedWinDev* usbFilterCandidate(const char* devpath)
{
    for (PedWinDev* c = candidates(); c && devpath; c = c->next)
        if (c->name && c->peddev && c->peddev->path && std::strcmp(c->peddev->path, devpath) == 0)
            return c;
    return nullptr;
}

NodeVisit atDiskNode(const std::string& instanceId,
                     const std::function<bool(win::HDEVINFO, win::SP_DEVINFO_DATA&)>& act)
{
    NodeVisit visit;
    bool found = false;
    visit.listed = forEachPresentDevice(win::GUID_DEVCLASS_DISKDRIVE,
                                        [&](win::HDEVINFO set, win::SP_DEVINFO_DATA& data, const char* id) {
                                            if (instanceId != id)
                                                return true;
                                            found = true;
                                            visit.done = act(set, data);
                                            if (!visit.done)
                                                visit.error = win::GetLastError();
                                            return false;
                                        });
    if (visit.listed && !found)
        visit.error = win::ERROR_NO_SUCH_DEVINST;
    return visit;
}

int writeUsbFilterList(const PedWinDev* dev, const char* devpath, bool attach, const Where* at)
{
    const NodeVisit visit = atDiskNode(dev->name, [&](win::HDEVINFO set, win::SP_DEVINFO_DATA& data) {
        FilterBuffer list = attachedList();
        if (!attach) {
            FilterBuffer current{};
            list = readList(set, data, current) ? withoutOurFilter(current) : FilterBuffer{};
        }
        return win::SetupDiSetDeviceRegistryPropertyA(set, &data, win::SPDRP_UPPERFILTERS, list.data(),
                                                      list.size()) != win::FALSE;
    });
    if (at && !visit.listed)
        kx_printf("[%s:%s:%d] Cann't SetupDiGetClassDevs()!\n", at->module, at->function, at->line);
    else if (at && visit.done)
        kx_printf("[%s:%s:%d] Success to load driver: %s\n", at->module, at->function, at->line, devpath);
    else if (at)
        kx_printf("[%s:%s:%d] Fail to load driver: %s, dwErr: %d\n", at->module, at->function, at->line, devpath,
                  static_cast<int>(visit.error));
    return visit.done ? kUsbFilterDone : kUsbFilterFailed;
}

int PedWinDeviceUsbDriverIsLoad(const char* devpath)
{
    const PedWinDev* dev = usbFilterCandidate(devpath);
    if (!dev) {
        kx_printf("ERR:[%s:%s:%d] Cann't find device: %s\n", KX_WHERE(pedWinBase), devpath);
        return kUsbFilterFailed;
    }
    FilterBuffer list{};
    const NodeVisit visit =
        atDiskNode(dev->name, [&](win::HDEVINFO set, win::SP_DEVINFO_DATA& data) { return readList(set, data, list); });
    if (!visit.listed) {
        kx_printf("[%s:%s:%d] Cann't SetupDiGetClassDevs()!", KX_WHERE(pedWinBase));
        return kUsbFilterFailed;
    }
    if (!visit.done) {
        kx_printf("[%s:%s:%d] Fail to get instance: %s\n", KX_WHERE(pedWinBase), devpath);
        return kUsbFilterFailed;
    }
    // Any filter counts, whoever listed it.
    return list[0] == 0 ? 1 : 0;
}

int PedWinDeviceUsbDriverUnload(const char* devpath)
{
    const PedWinDev* dev = usbFilterCandidate(devpath);
    if (!dev) {
        kx_printf("ERR:[%s:%s:%d]:Cann't find device: %s\n", KX_WHERE(pedWinBase), devpath);
        return kUsbFilterFailed;
    }
    return writeUsbFilterList(dev, devpath, false, nullptr);
}

}  // namespace kx
