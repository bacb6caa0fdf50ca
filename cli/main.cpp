// orvane: the command-line front end of the storage library.
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "cli/command_line.h"
#include "cli/commands/commands.h"
#include "cli/device_tool.h"
#include "cli/job_stop.h"
#include "cli/library_session.h"
#include "cli/not_offered.h"
#include "platform/helper_programs.h"
#include "platform/host_checks.h"
#include "platform/machine.h"

namespace cli {

std::filesystem::path deviceToolProgram() { return machine::helperProgram("cmddev"); }

std::vector<NotOffered> notOfferedDisks()
{
    auto m = machine::current();
    machine::followHostDisks(*m);
    std::vector<NotOffered> disks;
    const auto state = m->read();
    for (const auto& d : state->disks)
        if (d.host && !d.hostRefusal.empty())
            disks.push_back({d.slot, d.backing,
                             d.backing + " (disk " + std::to_string(d.slot) + ", " + machine::friendlyNameOf(d) +
                                 "): " + d.hostRefusal});
    // A host tree that is not followed has no disk of its own to name.
    if (const std::string why = machine::hostDisksProblem(); disks.empty() && state->settings.hostDisks && !why.empty())
        disks.push_back({-1, {}, "the host's disks: host disks are not followed: " + why});
    // The search opens every disk for writing to ask who it is, so a disk the
    // machine keeps read-only is never found.
    for (const auto& d : state->disks)
        if (!d.host && !d.system && d.present && d.readOnly)
            disks.push_back({d.slot, d.backing,
                             "disk " + std::to_string(d.slot) + " (" + machine::friendlyNameOf(d) +
                                 "): the machine marks it read_only, so it cannot be opened for writing (orvane-machine "
                                 "set --disk " + std::to_string(d.slot) + " read_only=false)"});
    return disks;
}

}  // namespace cli

namespace {

std::vector<std::string> refusedHostDisks()
{
    std::vector<std::string> lines;
    for (const auto& d : cli::notOfferedDisks())
        lines.push_back(d.line);
    return lines;
}

int run(const cli::CommandLine& line)
{
    const std::string command = line.words.empty() ? "" : line.words.front();
    if (command == "help") {
        cli::printUsage(std::cout);
        return cli::kSuccess;
    }
    if (command == "devices")
        return cli::runDevices(line, std::cout, refusedHostDisks());
    if (command == "userinfo")
        return cli::runUserInfo(line, std::cout);
    if (command == "image")
        return cli::runImage(line, std::cout);
    if (command == "upgrade")
        return cli::runUpgrade(line, std::cout);
    if (command == "setup")
        return cli::runSetup(line, std::cout);
    if (command == "format")
        return cli::runFormat(line, std::cout);
    if (command == "usbfilter")
        return cli::runUsbFilter(line, std::cout);
    if (command == "private")
        return cli::runPrivate(line, std::cout);
    throw cli::UsageError(command.empty() ? "no command given" : "unknown command " + command);
}

}  // namespace

int main(int argc, char** argv)
{
    // Alone, before anything opens a machine: it answers anywhere.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "orvane " ORVANE_VERSION "\n";
        return cli::kSuccess;
    }
    try {
        const cli::CommandLine line = cli::parseCommandLine(argc, argv);
        // Before any thread starts: the jobs that write a disk are stopped or
        // finished on a signal, never cut off in the middle.
        if (!line.words.empty() && (line.words[0] == "upgrade" || line.words[0] == "setup"))
            cli::watchStopSignals();
        // Named by --machine or KX_MACHINE: opened now, so that a damaged one
        // is reported with its file and the problem before anything runs.
        if (line.machine)
            machine::select(*line.machine);
        else if (const char* named = std::getenv("KX_MACHINE"); named && *named)
            machine::select(named);
        // The workers of --all inherit the folder this process checked and
        // hold, and find it by KX_MACHINE, never by its name again.
        if (line.option("--all") && line.words.size() > 0 && line.words[0] != "devices")
            ::setenv("KX_MACHINE", machine::current()->dir().c_str(), 1);
        return run(line);
    } catch (const cli::UsageError& e) {
        std::cerr << "orvane: " << e.what() << "\nTry 'orvane help'.\n";
        return cli::kUsage;
    } catch (const cli::Stopped& e) {
        std::cerr << "orvane: " << e.what() << '\n';
        return cli::kStopped;
    } catch (const cli::DiskBusy& e) {
        std::cerr << "orvane: " << e.what() << '\n';
        return cli::kDiskBusy;
    } catch (const cli::CommandFailure& e) {
        std::cerr << "orvane: " << e.what() << '\n';
        return cli::kFailure;
    } catch (const std::exception& e) {
        std::cerr << "orvane: " << e.what() << '\n';
        return cli::kFailure;
    }
}
