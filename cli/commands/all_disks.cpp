// --all: every disk a command may take, each by a worker process with a
// library of its own; USB disks it may not take are named and left alone,
// and so are the host's disks the machine does not offer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli/batch/batch_display.h"
#include "cli/batch/disk_jobs.h"
#include "cli/commands/commands.h"
#include "cli/library_session.h"
#include "cli/not_offered.h"

namespace cli {

namespace {

struct Survey {
    std::vector<ListedDevice> taken;
    std::vector<std::string> leftAlone;  // "path (name): why"
};

Survey surveyDisks(const AllDisksJob& job)
{
    LibrarySession session;  // released before the workers start their own
    Survey survey;
    for (const auto& d : listDevices()) {
        if (const std::string why = job.whyLeftAlone(d); !why.empty())
            survey.leftAlone.push_back(d.path + " (" + d.label() + "): " + why);
        else
            survey.taken.push_back(d);
    }
    return survey;
}

std::string seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

void printSummary(const std::vector<ListedDevice>& disks, const std::vector<DiskJobEnd>& ends, std::ostream& out)
{
    std::size_t diskWidth = 4, resultWidth = 6;
    for (std::size_t i = 0; i < disks.size(); ++i) {
        diskWidth = std::max(diskWidth, disks[i].path.size());
        resultWidth = std::max(resultWidth, ends[i].words.size());
    }
    const auto row = [&](const std::string& disk, const std::string& result, const std::string& time) {
        out << disk << std::string(diskWidth - disk.size() + 2, ' ') << result
            << std::string(resultWidth - result.size() + 2, ' ') << time << '\n';
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
    const Survey survey = surveyDisks(job);
    for (const auto& d : notOfferedDisks())
        out << "Not offered: " << d.line << '\n';
    for (const auto& why : survey.leftAlone)
        out << "Left alone: " << why << '\n';
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
    for (const auto& d : survey.taken) {
        std::vector<std::string> args = job.workerArgs(d.path);
        args.insert(args.end(), {"--yes", "--device", d.path, "--restart-when-told"});
        jobs.push_back({d.path, std::move(args)});
        names.push_back(d.path);
    }
    BatchDisplay display(out, &out == &std::cout && ::isatty(STDOUT_FILENO), names);
    const auto ends = runDiskJobs(jobs, jobsOption(line), display);
    printSummary(survey.taken, ends, out);
    const auto ended = [&ends](int code) {
        return std::count_if(ends.begin(), ends.end(), [code](const DiskJobEnd& e) { return e.exitCode == code; });
    };
    const auto byHand = ended(kRestartByHand);
    const auto stopped = ended(kStopped);
    const auto failed = static_cast<std::ptrdiff_t>(ends.size()) - ended(kSuccess) - byHand - stopped;
    if (failed == 0 && byHand == 0 && stopped == 0) {
        out << "All " << ends.size() << " disks done.\n";
        return kSuccess;
    }
    if (failed == 0 && stopped > 0) {
        out << stopped << " of " << ends.size() << " disks stopped before their first write; nothing was written to "
            << (stopped == 1 ? "it" : "them") << ".\n";
        if (byHand > 0)
            out << byHand << " of " << ends.size()
                << " disks could not be restarted: unplug each and plug it in again to finish.\n";
        return kStopped;
    }
    if (failed == 0) {
        out << byHand << " of " << ends.size()
            << " disks could not be restarted: unplug each and plug it in again to finish.\n";
        return kRestartByHand;
    }
    out << failed << " of " << ends.size() << " disks failed.\n";
    return kFailure;
}

}  // namespace cli
