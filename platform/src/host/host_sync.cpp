// The machine's host disk slots brought in line with sysfs. A disk keeps its
// slot while it comes and goes: known again by its USB serial, else by the
// port it is plugged into, else (not on USB) by its name.
#include <sys/stat.h>

#include <algorithm>

#include "host/disk_guard.h"
#include "host/tree_trust.h"
#include "host/usb_disks.h"
#include "platform/machine.h"

namespace machine {

namespace {

struct Seen {
    host::HostDisk disk;
    std::string refusal;
};

bool sameDisk(const Disk& slot, const host::HostDisk& d)
{
    if (!slot.host || slot.usb != d.usb)
        return false;
    if (d.usb && !d.serial.empty())
        return slot.serial == d.serial && slot.vid == d.vid && slot.pid == d.pid;
    if (d.usb)
        return slot.serial.empty() && slot.hostPort == d.port;
    return slot.backing == d.node.string();
}

Disk* slotFor(State& state, const host::HostDisk& d, std::vector<bool>& taken)
{
    for (auto& slot : state.disks)
        if (!taken[static_cast<std::size_t>(slot.slot)] && sameDisk(slot, d))
            return &slot;
    Disk fresh;
    fresh.slot = static_cast<int>(state.disks.size());
    fresh.host = true;
    fresh.present = false;
    state.disks.push_back(fresh);
    taken.push_back(false);
    return &state.disks.back();
}

void describeInto(Disk& slot, const host::HostDisk& d, dev_t nodeId, bool blockNode)
{
    slot.backing = d.node.string();
    slot.blockDevice = blockNode;
    slot.blockDeviceId = nodeId;
    slot.size = d.size >= 512 ? d.size / 512 * 512 : 512;  // a slot's size is never 0
    slot.vendor = d.vendor;
    slot.product = d.product;
    slot.revision = d.revision;
    slot.serial = d.serial;
    slot.usb = d.usb;
    slot.vid = d.vid;
    slot.pid = d.pid;
    slot.removable = d.removable;
    slot.hostPort = d.port;
}

// Slots of the other kind leave: with host disks on, the emulated USB disks
// (an operator could otherwise upgrade one believing it the appliance);
// with them off, the host's.
void detachOtherKind(Machine& m, bool hostDisks)
{
    const auto otherKind = [hostDisks](const Disk& d) { return d.present && !d.system && d.host != hostDisks; };
    const auto state = m.readWithoutNames();
    if (std::none_of(state->disks.begin(), state->disks.end(), otherKind))
        return;
    m.update([&](State& s) {
        for (auto& d : s.disks)
            if (otherKind(d))
                detachDisk(s, d);
    });
}

}  // namespace

void followHostDisks(Machine& m)
{
    const bool hostDisks = m.readWithoutNames()->settings.hostDisks;
    detachOtherKind(m, hostDisks);
    if (!hostDisks)
        return;
    // A tree another user could change is not followed at all: its disks
    // leave, each with the reason, so orvane-machine list and orvane devices
    // --all say why.
    if (const std::string why = host::hostRootsProblem(); !why.empty()) {
        const std::string refusal = "host disks are not followed: " + why;
        const auto state = m.readWithoutNames();
        if (std::none_of(state->disks.begin(), state->disks.end(),
                         [&](const Disk& d) { return d.host && (d.present || d.hostRefusal != refusal); }))
            return;
        m.update([&](State& s) {
            for (auto& d : s.disks)
                if (d.host) {
                    if (d.present)
                        detachDisk(s, d);
                    d.hostRefusal = refusal;
                }
        });
        return;
    }
    std::vector<Seen> seen;
    for (auto& d : host::scanHostDisks()) {
        std::string refusal = host::refusalOf(d);
        seen.push_back({std::move(d), std::move(refusal)});
    }
    m.update([&](State& state) {
        std::vector<bool> taken(state.disks.size(), false);
        for (const auto& [d, refusal] : seen) {
            Disk* slot = slotFor(state, d, taken);
            taken[static_cast<std::size_t>(slot->slot)] = true;
            struct stat st {};
            const bool statted = ::stat(d.node.c_str(), &st) == 0;
            const bool blockNode = statted && S_ISBLK(st.st_mode);
            // The node must be the disk sysfs describes; a plain file only in a test tree.
            std::string why = refusal;
            if (why.empty() && !statted)
                why = "its device node " + d.node.string() + " is missing";
            else if (why.empty() && blockNode && st.st_rdev != d.block.id)
                why = "its device node " + d.node.string() + " is another device";
            const std::uint64_t nodeId = blockNode ? st.st_rdev : statted ? st.st_ino : 0;
            const bool moved = slot->backing != d.node.string() || slot->blockDeviceId != nodeId;
            if (slot->present && (moved || !why.empty()))
                detachDisk(state, *slot);
            describeInto(*slot, d, nodeId, blockNode);
            slot->hostRefusal = why;
            if (!slot->present && why.empty())
                arriveDisk(m, state, *slot);
        }
        for (auto& slot : state.disks)
            if (slot.host && !taken[static_cast<std::size_t>(slot.slot)]) {
                if (slot.present)
                    detachDisk(state, slot);
                slot.hostRefusal.clear();
            }
    });
}

}  // namespace machine
