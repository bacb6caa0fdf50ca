// Finding a matched disk's entry, and the disk probe, lookup and release.
#include <cstdlib>
#include <cstring>

#include "arch/pedwin_disk_internal.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

PedWinDev* entryOfPath(const char* devpath)
{
    if (!devpath)
        return nullptr;
    for (PedWinDev* e = candidates(); e; e = e->next)
        if (e->dev.path && std::strcmp(e->dev.path, devpath) == 0)
            return e;
    return nullptr;
}

PedWinDev* entryOfDisk(const kx_disk* disk)
{
    if (!disk)
        return nullptr;
    for (PedWinDev* e = candidates(); e; e = e->next)
        if (&e->disk == disk)
            return e;
    return nullptr;
}

namespace {

::PedPartition* partitionIn(const ::PedDisk* table, const PedWinPart* part)
{
    for (::PedPartition* p = nextTopLevel(table, nullptr); p; p = nextTopLevel(table, p)) {
        if (&partData(p)->winpart == part)
            return p;
        if (isExtended(p))
            for (::PedPartition* l = nextLogical(table, nullptr); l; l = nextLogical(table, l))
                if (&partData(l)->winpart == part)
                    return l;
    }
    return nullptr;
}

}  // namespace

::PedPartition* findPartition(const PedWinPart* part, PedWinDev** owner)
{
    if (!part)
        return nullptr;
    for (PedWinDev* e = candidates(); e; e = e->next) {
        if (!e->peddev || !e->peddev->disk)
            continue;
        if (::PedPartition* found = partitionIn(e->peddev->disk, part)) {
            if (owner)
                *owner = e;
            return found;
        }
    }
    return nullptr;
}

int PedWinDeviceDiskProbe(const char* devpath)
{
    if (!devpath)
        return 0;
    PedWinDev* entry = nullptr;
    for (PedWinDev* e = candidates(); e; e = e->next) {
        if (!e->dev.path) {
            KX_REPORT(source::pedWinBase, "windev->dev.path != NULL");
            return 0;
        }
        if (std::strcmp(e->dev.path, devpath) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry)
        return 0;
    if (!entry->peddev) {
        KX_REPORT(source::pedWinBase, "windev->peddev != NULL");
        return 0;
    }
    if (!kx::ped_disk_probe(entry->peddev))
        return 0;
    refreshCandidate(entry);
    return 1;
}

void PedWinDeviceDiskDestroy(const char* devpath)
{
    if (!devpath) {
        KX_REPORT(source::pedWinBase, "devpath == NULL");
        return;
    }
    // Only the path copy goes; the next probe copies it again.
    if (PedWinDev* e = entryOfPath(devpath)) {
        std::free(e->disk.path);
        e->disk.path = nullptr;
    }
}

kx_disk* PedWinDeviceDiskGet(const char* devpath)
{
    if (!devpath) {
        KX_REPORT(source::pedWinBase, "devpath == NULL");
        return nullptr;
    }
    PedWinDev* e = entryOfPath(devpath);
    return e ? &e->disk : nullptr;
}

}  // namespace kx
