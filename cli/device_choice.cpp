#include "cli/device_choice.h"

#include <strings.h>

#include "kx/kx.h"

#include "app/core/jobs/DiskJobLock.h"
#include "cli/command_line.h"
#include "cli/library_session.h"
#include "cli/not_offered.h"

namespace cli {

namespace {

// A job that restarts its disk has it away for a while: when any job holds
// a disk, a missing one is called busy, what is away named as given.
void refuseIfAnotherJobMayHaveIt(const std::string& away, const std::string& holds)
{
    if (const std::string holder = DiskJobLock::AnyHolder(); !holder.empty())
        throw DiskBusy(away + " now, while " + holder + " holds " + holds +
                       " (it may be restarting it); nothing was written");
}

}  // namespace

std::string chooseDevice(const std::vector<ListedDevice>& devices, const std::optional<std::string>& named)
{
    if (named) {
        for (const auto& d : devices)
            if (d.path == *named)
                return d.path;
        // A disk the machine refuses (mounted, swap, not on USB ...) is
        // named with its reason, which only the machine knows.
        const auto refused = notOfferedDisks();
        for (const auto& d : refused)
            if (d.namedBy(*named))
                throw CommandFailure("the machine does not offer " + *named +
                                     " as a USB storage disk; nothing was written\n" + notOfferedLines({d}, "  "));
        refuseIfAnotherJobMayHaveIt("no USB storage disk is at " + *named, "one");
        throw CommandFailure("no USB storage disk at " + *named + " (see orvane devices)" +
                             (refused.empty() ? "" : "\n" + notOfferedLines(refused, "  ")));
    }
    if (devices.empty()) {
        refuseIfAnotherJobMayHaveIt("no USB storage disk is there", "one");
        const auto refused = notOfferedDisks();
        throw CommandFailure(refused.empty() ? std::string("no USB storage disk found")
                                             : "no USB storage disk found; nothing was written\n" +
                                                   notOfferedLines(refused, "  "));
    }
    if (devices.size() > 1) {
        std::string text = "several USB storage disks are attached; choose one with --device:";
        for (const auto& d : devices)
            text += "\n  " + d.path + "\t" + d.label();
        throw CommandFailure(text);
    }
    return devices.front().path;
}

std::string usbIdOf(const std::string& devpath)
{
    char id[KX_USB_ID_SIZE] = {};
    return kx_dev_get_vid_info(devpath.c_str(), id) == 1 ? std::string(id) : std::string();
}

void checkGivenDisk(const std::vector<ListedDevice>& devices, const std::optional<std::string>& devpath,
                    const std::optional<std::string>& usbId)
{
    if (!usbId)
        return;
    const std::string named = devpath.value_or("");
    std::string found;
    for (const auto& d : devices)
        if (d.path == named)
            found = usbIdOf(d.path);
    if (!found.empty() && ::strcasecmp(found.c_str(), usbId->c_str()) == 0)
        return;
    if (devices.empty())
        refuseIfAnotherJobMayHaveIt("USB device " + *usbId + " is away", "a disk");
    throw CommandFailure(named + " is no longer the disk of USB device " + *usbId + " (" +
                             (devices.empty() ? std::string("that device is not attached")
                                              : "that device is " + devices.front().path) +
                             "); nothing was written");
}

}  // namespace cli
