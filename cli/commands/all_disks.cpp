// --all: every disk a command may take, each by a worker process with a
// library of its own; USB disks it may not take are named and left alone,
// and so are the host's disks the machine does not offer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>

#include "cli/batch/batch_display.h"
#include "cli/batch/disk_jobs.h"
#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/library_session.h"
#include "cli/not_offered.h"
#include "cli/terminal_width.h"

namespace cli {

namespace {

struct Survey {
    std::vector<ListedDevice> taken;
    std::vector<std::string> usbIds;  // of the taken disks, as the search found them
    std::vector<std::string> leftAlone;  // "path (name): why"
};

Survey surveyDisks(const AllDisksJob& job)
{
    LibrarySession session;  // released before the workers start their own
    Survey survey;
    for (const auto& d : listDevices()) {
        if (const std::string why = job.whyLeftAlone(d); !why.empty())
            survey.leftAlone.push_back(d.path + " (" + d.label() + "): " + why);
        else {
            survey.taken.push_back(d);
            survey.usbIds.push_back(usbIdOf(d.path));
        }
    }
    return survey;
}

std::string seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

// On a terminal the rows fit its width: the result's words wrap within
// their column, under it.
void printSummary(const std::vector<ListedDevice>& disks, const std::vector<DiskJobEnd>& ends,
                  std::optional<std::size_t> columns, std::ostream& out)
{
    std::size_t diskWidth = 4, resultWidth = 6, timeWidth = 4;
    for (std::size_t i = 0; i < disks.size(); ++i) {
        diskWidth = std::max(diskWidth, columnsOf(disks[i].path));
        resultWidth = std::max(resultWidth, columnsOf(ends[i].words));
        timeWidth = std::max(timeWidth, seconds(ends[i].seconds).size());
    }
    // One column short, as the progress lines. Too narrow for the columns
    // side by side, each result goes under its disk.
    const std::size_t room = columns ? std::max<std::size_t>(*columns, 12) - 1 : 0;
    const std::size_t fixed = diskWidth + 2 + 2 + timeWidth;
    const bool stacked = columns && fixed + 16 > room;
    if (columns && !stacked)
        resultWidth = std::min(resultWidth, room - fixed);
    const auto pad = [](const std::string& text, std::size_t width) {
        return text + std::string(width - std::min(width, columnsOf(text)), ' ');
    };
    const auto row = [&](const std::string& disk, const std::string& result, const std::string& time) {
        if (stacked) {
            for (const auto& l : wrapWords(disk + "  " + time, room))
                out << l << '\n';
            for (const auto& l : wrapWords(result, room - 4))
                out << "    " << l << '\n';
            return;
        }
        const std::vector<std::string> lines =
            columns ? wrapWords(result, resultWidth) : std::vector<std::string>{result};
        out << pad(disk, diskWidth) << "  " << pad(lines[0], resultWidth) << "  " << time << '\n';
        for (std::size_t k = 1; k < lines.size(); ++k)
            out << std::string(diskWidth + 2, ' ') << lines[k] << '\n';
    };
    out << '\n';
    row("Disk", "Result", "Time");
    for (std::size_t i = 0; i < disks.size(); ++i)
        row(disks[i].path, ends[i].words, seconds(ends[i].seconds));
}

std::size_t jobsOption(const CommandLine& line)
{
    const auto jobs = line.option("--jobs");
    if (!jobs)
        return 0;
    std::size_t used = 0;
    unsigned long n = 0;
    try {
        n = std::stoul(*jobs, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != jobs->size() || n == 0 || n > 1000)
        throw UsageError("--jobs takes a number from 1 to 1000, not '" + *jobs + "'");
    return n;
}

}  // namespace

void checkAllOptions(const CommandLine& line)
{
    if (line.option("--all") && line.option("--device"))
        throw UsageError(line.words[0] + " takes --device or --all, not both");
    if (line.option("--jobs") && !line.option("--all"))
        throw UsageError("--jobs goes with --all");
    jobsOption(line);
}

int runOnAllDisks(const CommandLine& line, const AllDisksJob& job, std::ostream& out)
{
    // On a terminal every line fits its width; a log keeps whole lines.
    const bool terminal = &out == &std::cout && ::isatty(STDOUT_FILENO);
    const auto say = [&](const std::string& text) {
        out << fitTerminal(text, terminal ? STDOUT_FILENO : -1) << '\n';
    };
    // The search waits for drive letters a while on every disk: on many disks,
    // seconds, and a log must show what the run is doing meanwhile.
    out << "Searching for USB storage disks..." << std::endl;
    const Survey survey = surveyDisks(job);
    for (const auto& d : notOfferedDisks())
        say("Not offered: " + d.line);
    for (const auto& why : survey.leftAlone)
        say("Left alone: " + why);
    if (survey.taken.empty())
        throw CommandFailure("no disk to " + job.verb + " (orvane devices lists the USB storage disks)");
    std::string list;
    for (const auto& d : survey.taken)
        list += "\n  " + d.path + "\t" + d.label();
    if (!line.option("--yes") &&
        !askToGoOn(job.question + " " + std::to_string(survey.taken.size()) + " disks:" + list, out))
        throw CommandFailure(job.verb + " cancelled; nothing was written");
    out << "Starting on " << survey.taken.size() << " disks:" << std::endl;

    std::vector<DiskJob> jobs;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < survey.taken.size(); ++i) {
        const ListedDevice& d = survey.taken[i];
        std::vector<std::string> args = job.workerArgs(d.path);
        args.insert(args.end(), {"--yes", "--device", d.path, "--restart-when-told"});
        // Searched once, here: each worker opens its own disk only.
        if (!survey.usbIds[i].empty())
            args.insert(args.end(), {"--usb-id", survey.usbIds[i]});
        jobs.push_back({d.path, std::move(args)});
        names.push_back(d.path);
    }
    std::function<std::size_t()> columns;
    if (terminal)
        columns = [] { return terminalColumns(STDOUT_FILENO).value_or(80); };
    BatchDisplay display(out, columns, names);
    const auto ends = runDiskJobs(jobs, jobsOption(line), display);
    printSummary(survey.taken, ends, terminal ? terminalColumns(STDOUT_FILENO) : std::nullopt, out);
    const auto ended = [&ends](int code) {
        return std::count_if(ends.begin(), ends.end(), [code](const DiskJobEnd& e) { return e.exitCode == code; });
    };
    const auto byHand = ended(kRestartByHand);
    const auto stopped = ended(kStopped);
    const auto failed = static_cast<std::ptrdiff_t>(ends.size()) - ended(kSuccess) - byHand - stopped;
    const std::string of = " of " + std::to_string(ends.size()) + " disks ";
    const std::string restartByHand =
        std::to_string(byHand) + of + "could not be restarted: unplug each and plug it in again to finish.";
    if (failed == 0 && byHand == 0 && stopped == 0) {
        say("All " + std::to_string(ends.size()) + " disks done.");
        return kSuccess;
    }
    if (failed == 0 && stopped > 0) {
        say(std::to_string(stopped) + of + "stopped before their first write; nothing was written to " +
            (stopped == 1 ? "it." : "them."));
        if (byHand > 0)
            say(restartByHand);
        return kStopped;
    }
    if (failed == 0) {
        say(restartByHand);
        return kRestartByHand;
    }
    say(std::to_string(failed) + of + "failed.");
    return kFailure;
}

}  // namespace cli
