// The candidate list: one record per present disk drive that could be tied
// to a physical drive, kept across probes with its device record and table.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "windev/pedwin_devices.h"
#include "arch/pedwin_probe_one.h"
#include "arch/pedwin_probe_pass.h"
#include "arch/pedwinbase.h"
#include "arch/pedwindow.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_list.h"
#include "common/kx_message.h"
#include "common/kx_os.h"
#include "common/kx_text.h"

namespace kx {

namespace {

using source::pedWinBase;

PedWinDev* head = nullptr;
// While set, the probe visits only the drive of this USB serial.
const char* onlySerial = nullptr;

// "USBSTOR\DISK&...\SERIAL&0": the serial is the last part up to its '&'.
bool ofSerial(const char* id, const char* serial)
{
    const char* last = std::strrchr(id, '\\');
    if (!last || !*serial)
        return false;
    std::size_t n = 0;
    for (; serial[n]; ++n)
        if (std::toupper(static_cast<unsigned char>(last[1 + n])) != std::toupper(static_cast<unsigned char>(serial[n])))
            return false;  // the id's end stops this too
    return last[1 + n] == '&' || last[1 + n] == '\0';
}

void destroyCandidate(PedWinDev* dev)
{
    if (dev->peddev)
        ped_device_destroy(dev->peddev);
    freeText(dev->friendly_name);
    freeText(dev->name);
    freeText(dev->dev.name);
    freeText(dev->dev.path);
    freeText(dev->disk.path);
    delete dev;
}

PedWinDev* findByName(const char* id)
{
    for (PedWinDev* c = head; c; c = c->next)
        if (c->name && std::strcmp(c->name, id) == 0)
            return c;
    return nullptr;
}

int driveNumberOf(const PedDevice* dev)
{
    int drive = -1;
    if (!dev || !dev->path || std::sscanf(dev->path, "\\Device\\Harddisk%d\\Partition0", &drive) != 1)
        return -1;
    return drive;
}

// Windows may have given the partitions other letters since the last probe.
void refreshMountPoints(const PedWinDev* dev)
{
    const PedDeviceOps* ops = deviceOps();
    ::PedDisk* disk = dev->peddev ? dev->peddev->disk : nullptr;
    if (!ops || !disk)
        return;
    for (::PedPartition* part = nextTopLevel(disk, nullptr); part; part = nextTopLevel(disk, part)) {
        if (!(part->type & PED_PARTITION_EXTENDED)) {
            ops->part_update_info(part);
            continue;
        }
        for (::PedPartition* logical = nextLogical(disk, nullptr); logical; logical = nextLogical(disk, logical))
            ops->part_update_info(logical);
    }
}

void keepKnownDrive(PedWinDev* dev, const char* id)
{
    if (PedWinDeviceValid(dev) || PedWinDeviceMissMatch(dev)) {
        refreshMountPoints(dev);
    } else if (dev->peddev) {
        kx_printf("ERR:[%s:%s:%d]:Fail Miss match[%s]: %s\n", KX_WHERE(pedWinBase), dev->peddev->path, id);
        ped_device_destroy(dev->peddev);
        dev->peddev = nullptr;
    } else if (const PedDeviceOps* ops = deviceOps()) {
        // A drive that lost its record while it was briefly away is tied
        // again now that it answers; else it stays unusable while present.
        ops->probe(dev);
    }
    dev->present = 1;
}

void addNewDrive(win::HDEVINFO set, win::SP_DEVINFO_DATA& data, const char* id)
{
    auto* dev = new (std::nothrow) PedWinDev{};
    const std::string friendly = dev ? friendlyNameOf(set, data) : std::string();
    if (!dev || !setText(dev->name, id) || !setText(dev->friendly_name, friendly.c_str()) ||
        !setText(dev->dev.name, friendly.c_str())) {
        kx_printf("ERR:[%s:%s:%d]:Fail to allocate PedWinDev\n", KX_WHERE(pedWinBase));
        if (dev)
            destroyCandidate(dev);
        return;
    }
    dev->present = 1;
    if (osCode() < 11)
        dev->dev.removable = isRemovableDisk(id);
    appendToList(head, dev);

    // A drive that Windows re-enumerated under a new instance id takes over
    // the record and table of its vanished twin; the probe below would find
    // the drive owned by that twin and drop the new candidate.
    if (PedWinDeviceMissMatch(dev)) {
        if (osCode() > 10) {
            const int drive = driveNumberOf(dev->peddev);
            dev->dev.removable = drive >= 0 ? isRemovableDiskEx(drive) : 0;
        }
        return;
    }
    const PedDeviceOps* ops = deviceOps();
    if (!ops || !ops->probe(dev)) {
        unlinkFromList(head, dev);
        destroyCandidate(dev);
    }
}

bool visitDrive(win::HDEVINFO set, win::SP_DEVINFO_DATA& data, const char* id)
{
    if (onlySerial && !ofSerial(id, onlySerial))
        return true;
    if (PedWinDev* known = findByName(id))
        keepKnownDrive(known, id);
    else
        addNewDrive(set, data, id);
    return true;
}

}  // namespace

PedWinDev* candidates()
{
    return head;
}

int PedWinDeviceProbe()
{
    for (PedWinDev* c = head; c; c = c->next)
        c->present = 0;
    ProbePass pass;
    if (!forEachPresentDevice(win::GUID_DEVCLASS_DISKDRIVE, visitDrive))
        return 0;
    for (PedWinDev* c = head; c;) {
        PedWinDev* next = c->next;
        if (!c->present) {
            unlinkFromList(head, c);
            destroyCandidate(c);
        }
        c = next;
    }
    return 1;
}

int PedWinDeviceProbeSerial(const char* serial)
{
    struct Only {
        explicit Only(const char* s) { onlySerial = s; }
        ~Only() { onlySerial = nullptr; }
    } only(serial);
    return PedWinDeviceProbe();
}

int PedWinDeviceValid(PedWinDev* dev)
{
    if (!dev || !dev->peddev || !dev->peddev->path) {
        KX_REPORT(pedWinBase, "dev != NULL && dev->peddev = NULL && dev->peddev->path");
        return 0;
    }
    return pathExists(dev->peddev->path);
}

int PedWinDeviceMissMatch(PedWinDev* dev)
{
    if (!dev) {
        KX_REPORT(pedWinBase, "dev == NULL");
        return 0;
    }
    for (PedWinDev* other = head; other; other = other->next) {
        if (other == dev || !other->name || PedWinDeviceMatchId(other->name) || !PedWinDeviceValid(other))
            continue;
        const int drive = driveNumberOf(other->peddev);
        if (drive < 0)
            continue;
        const DriveIdentity id = ProbePass::Ask(drive);
        if (!id.answered || !ped_dev_win_match(dev, id.vendor, id.product, id.version, id.serial))
            continue;
        if (dev->peddev)
            ped_device_destroy(dev->peddev);
        dev->peddev = other->peddev;
        other->peddev = nullptr;
        unlinkFromList(head, other);
        destroyCandidate(other);
        refreshCandidate(dev);
        return 1;
    }
    return 0;
}

int PedWinDeviceMatchId(const char* id)
{
    if (!id)
        return 0;
    bool matched = false;
    bool listed = true;
    if (const ProbePass* pass = ProbePass::current(); pass && pass->listed())
        matched = pass->present(id);
    else
        listed = forEachPresentDevice(win::GUID_DEVCLASS_DISKDRIVE,
                                      [&](win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* present) {
                                          matched = std::strcmp(present, id) == 0;
                                          return !matched;
                                      });
    if (!listed) {
        kx_printf("ERR:[%s:%s:%d]:Cann't get SetupDiGetClassDevs: %s\n", KX_WHERE(pedWinBase), id);
        return 0;
    }
    if (matched)
        kx_printf("OK:[%s:%s:%d]:Match %s, %s\n", KX_WHERE(pedWinBase), id, id);
    return matched ? 1 : 0;
}

PedWinDev* PedWinDeviceGetMatchDev(const PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedWinBase, "dev != NULL");
        return nullptr;
    }
    for (PedWinDev* c = head; c; c = c->next)
        if (c->peddev == dev)
            return c;
    return nullptr;
}

int removableOf(const PedDevice* dev)
{
    const PedWinDev* owner = PedWinDeviceGetMatchDev(dev);
    return owner ? owner->dev.removable : 0;
}

void freeCandidates()
{
    while (PedWinDev* c = head) {
        head = c->next;
        destroyCandidate(c);
    }
}

void refreshCandidate(PedWinDev* dev)
{
    if (!dev || !dev->peddev)
        return;
    const PedDevice* record = dev->peddev;
    setText(dev->dev.path, record->path);
    setText(dev->disk.path, record->path);
    dev->dev.size = record->size;
    dev->disk.size = record->size;

    int primary = 0;
    int extended = 0;
    int logical = 0;
    if (::PedDisk* disk = record->disk) {
        for (::PedPartition* part = nextTopLevel(disk, nullptr); part; part = nextTopLevel(disk, part)) {
            if (!(part->type & PED_PARTITION_EXTENDED)) {
                ++primary;
                continue;
            }
            extended = 1;
            for (::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l))
                ++logical;
        }
    }
    dev->disk.primary = primary;
    dev->disk.extended = extended;
    dev->disk.logical = logical;
    refreshPartitionRecords(dev);
}

}  // namespace kx
