#include "arch/pedwin_probe_pass.h"

#include <algorithm>

#include "windev/pedwin_devices.h"
#include "windev/pedwindow_paths.h"

namespace kx {

namespace {

ProbePass* running = nullptr;

}  // namespace

ProbePass::ProbePass()
{
    listed_ =
        forEachPresentDevice(win::GUID_DEVCLASS_DISKDRIVE, [&](win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id) {
            present_.emplace_back(id);
            return true;
        });
    running = this;
}

ProbePass::~ProbePass() { running = nullptr; }

ProbePass* ProbePass::current() { return running; }

bool ProbePass::present(const char* id) const
{
    return std::find(present_.begin(), present_.end(), id) != present_.end();
}

const DriveIdentity& ProbePass::identity(int drive)
{
    auto [it, added] = drives_.try_emplace(drive);
    if (added) {
        // Once as many drives answered as disk drives were listed, no other
        // number is one of them; asking would cost an open for each of the
        // 64 numbers a candidate that matches none goes through.
        if (!listed_ || answered_ < present_.size())
            it->second = Ask(drive);
        answered_ += it->second.answered ? 1 : 0;
    }
    return it->second;
}

// \\.\PhysicalDriveN is \Device\HarddiskN's own name: a drive that opens
// under it and answers is there, without a DOS name of our own for the
// kernel path (two changes under the machine lock) and a second open.
DriveIdentity ProbePass::Ask(int drive)
{
    DriveIdentity d;
    d.answered = ped_dev_get_info(drive, d.vendor, d.product, d.version, d.serial, sizeof d.serial) != 0;
    return d;
}

}  // namespace kx
