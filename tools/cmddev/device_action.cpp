#include "device_action.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace cmddev {

namespace {

std::string upper(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string hardwareIdOf(const machine::Disk& d)
{
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", d.vid, d.pid);
    return id;
}

std::vector<std::string> matchingInstances(const machine::State& state, const std::string& hardwareId)
{
    std::vector<std::string> ids;
    for (const auto& d : state.disks)
        if (d.usb && d.present && hardwareIdOf(d) == upper(hardwareId))
            ids.push_back(machine::usbInstanceId(d));
    return ids;
}

}  // namespace

Outcome act(machine::Machine& m, Action action, const std::vector<std::string>& hardwareIds)
{
    Outcome out;
    std::vector<std::string> done;
    for (const auto& hwid : hardwareIds) {
        // The same id twice would restart its devices twice.
        const std::string key = upper(hwid);
        if (std::find(done.begin(), done.end(), key) != done.end())
            continue;
        done.push_back(key);
        const auto ids = matchingInstances(*m.read(), hwid);
        out.instanceIds.insert(out.instanceIds.end(), ids.begin(), ids.end());
        out.count += action == Action::Remove ? machine::removeUsb(m, hwid) : machine::restartUsb(m, hwid);
    }
    return out;
}

std::string report(Action action, const Outcome& outcome)
{
    const bool remove = action == Action::Remove;
    std::string text;
    for (const auto& id : outcome.instanceIds)
        text += id + (remove ? ": Removed\n" : ": Restarted\n");
    if (outcome.count == 0)
        return text + (remove ? "No devices were removed.\n" : "No devices restarted.\n");
    return text + std::to_string(outcome.count) + (remove ? " device(s) removed.\n" : " device(s) restarted.\n");
}

}  // namespace cmddev
