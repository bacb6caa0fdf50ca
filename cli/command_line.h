// The command line of orvane: words, options with values, and the errors a
// user can make in them.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// kNeedsSetup: the disk must be set up for the appliance before an upgrade.
// kNeedsReboot: done, but Windows asks for a reboot to finish.
// kDiskBusy: another job (of this or another program) holds the disk.
// kRestartByHand: the firmware is written, but the USB device could not be
// restarted: unplugging and plugging it in again finishes the upgrade.
// kStopped: a signal stopped the command before it wrote the disk (as a
// shell reports a program ended by SIGINT).
enum ExitCode : int {
    kSuccess = 0,
    kFailure = 1,
    kUsage = 2,
    kNeedsSetup = 3,
    kNeedsReboot = 4,
    kDiskBusy = 5,
    kRestartByHand = 6,
    kStopped = 130,
};

// A mistake in the command line; reported with the usage hint.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The disk is another job's; nothing was written.
struct DiskBusy : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    std::vector<std::string> words;               // command and sub-command
    std::map<std::string, std::string> options;   // "--name" -> value
    std::optional<std::string> machine;           // --machine DIR

    // The option's value, or none.
    std::optional<std::string> option(const std::string& name) const;
    // Fails with a usage error for options outside the allowed ones.
    void allowOnly(const std::vector<std::string>& names) const;
};

// Options take a value, as "--name value" or "--name=value", except the
// switches --yes, --all and --full; "-o" stands for "--output".
CommandLine parseCommandLine(int argc, char** argv);

}  // namespace cli
