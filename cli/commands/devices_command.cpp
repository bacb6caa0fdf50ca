// orvane devices: the USB storage disks, one a line: path, a tab, and the
// name with the first partition's drive. With --all, then the disks the
// machine does not offer, each with the reason.
#include "cli/commands/commands.h"
#include "cli/device_list.h"
#include "cli/library_session.h"

namespace cli {

int runDevices(const CommandLine& line, std::ostream& out, const std::vector<std::string>& notOffered)
{
    if (line.words.size() > 1)
        throw UsageError("devices takes no arguments");
    line.allowOnly({"--all"});
    LibrarySession session;
    const auto devices = listDevices();
    if (devices.empty())
        out << "No USB storage disk found.\n";
    if (devices.empty() && !notOffered.empty() && !line.option("--all"))
        out << "orvane devices --all names " << notOffered.size() << " disk" << (notOffered.size() == 1 ? "" : "s")
            << " not offered, with the reason.\n";
    for (const auto& d : devices)
        out << d.path << '\t' << d.label() << '\n';
    if (line.option("--all"))
        for (const auto& why : notOffered)
            out << "not offered: " << why << '\n';
    return kSuccess;
}

}  // namespace cli
