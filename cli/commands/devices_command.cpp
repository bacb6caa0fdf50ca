// orvane devices: the USB storage disks, one a line: path, a tab, and the
// name with the first partition's drive.
#include "cli/commands/commands.h"
#include "cli/device_list.h"
#include "cli/library_session.h"

namespace cli {

int runDevices(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() > 1)
        throw UsageError("devices takes no arguments");
    line.allowOnly({});
    LibrarySession session;
    const auto devices = listDevices();
    if (devices.empty()) {
        out << "No USB storage disk found.\n";
        return kSuccess;
    }
    for (const auto& d : devices)
        out << d.path << '\t' << d.label() << '\n';
    return kSuccess;
}

}  // namespace cli
