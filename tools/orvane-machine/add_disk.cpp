// add-disk: a new disk from the command line's options.
#include <iostream>

#include "backing.h"
#include "commands.h"
#include "numbers.h"
#include "platform/host_checks.h"
#include "target_machine.h"

namespace machine_tool {

namespace {

void copyText(const Invocation& inv, const std::string& option, std::string& field)
{
    if (auto v = inv.value(option))
        field = *v;
}

// Two disks on one image would see each other's writes.
void refuseSharedBacking(const machine::Machine& m, const std::string& path)
{
    for (const auto& d : m.read()->disks)
        if (machine::fs::weakly_canonical(m.backingPath(d)) == machine::fs::weakly_canonical(path))
            throw machine::MachineError("backing " + path + " already belongs to disk " + std::to_string(d.slot));
}

// An image file is the machine's only inside its folder: kept relative to it.
std::string insideFolder(const machine::Machine& m, const std::string& path)
{
    const auto folder = machine::fs::weakly_canonical(m.dir());
    const auto relative = machine::fs::weakly_canonical(path).lexically_relative(folder);
    if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        throw machine::MachineError("backing " + path + " lies outside the machine folder " + folder.string() +
                                    "; move or copy it there, or give a block device");
    return relative.string();
}

machine::DiskOptions specFrom(const Invocation& inv)
{
    if (inv.flag("--usb") && inv.flag("--fixed-bus"))
        throw UsageError("--usb and --fixed-bus exclude each other");
    machine::DiskOptions options;
    options.usb = !inv.flag("--fixed-bus");
    if (!options.usb && (inv.value("--vid") || inv.value("--pid")))
        throw UsageError("--vid and --pid apply to USB disks only");
    copyText(inv, "--vendor", options.vendor);
    copyText(inv, "--product", options.product);
    copyText(inv, "--revision", options.revision);
    copyText(inv, "--serial", options.serial);
    copyText(inv, "--friendly-name", options.friendlyName);
    if (options.serial.find_first_of("\\/&") != std::string::npos)
        throw UsageError("--serial cannot hold '\\', '/' or '&' (it is part of the device instance ids)");
    if (auto v = inv.value("--vid"))
        options.vid = parseUsbId("--vid", *v);
    if (auto v = inv.value("--pid"))
        options.pid = parseUsbId("--pid", *v);
    options.removable = inv.flag("--removable");
    if (auto v = inv.value("--size"))
        options.size = parseDiskSize(*v);
    return options;
}

}  // namespace

int runAddDisk(const Invocation& inv)
{
    machine::DiskOptions options = specFrom(inv);
    auto m = openTarget(inv);
    if (auto given = inv.value("--backing")) {
        const Backing b = probeBacking(*given);
        // A device the host uses (mounted, swap, held, under a loop device)
        // is refused now, as it would be at every open for writing.
        if (b.blockDevice)
            if (std::string why = machine::blockBackingProblem(b.path); !why.empty())
                throw machine::MachineError("backing " + b.path + " is refused: " + why);
        refuseSharedBacking(*m, b.path);
        if (!inv.value("--size"))
            options.size = b.size;
        else if (options.size > b.size)
            throw machine::MachineError("--size " + *inv.value("--size") + " is larger than " + b.path + " (" +
                                        std::to_string(b.size) + " bytes)");
        options.backing = b.blockDevice ? b.path : insideFolder(*m, b.path);
        options.blockDevice = b.blockDevice;
    }
    std::cout << machine::addDisk(*m, options) << "\n";
    return 0;
}

}  // namespace machine_tool
