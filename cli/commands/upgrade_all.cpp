// orvane upgrade IMAGE --all: every appliance disk at once, each upgraded by
// a worker process with a library of its own; USB disks not in the
// appliance's layout are named and left alone.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "app/core/disksetup/DiskSetUp.h"
#include "cli/batch/batch_display.h"
#include "cli/batch/disk_jobs.h"
#include "cli/commands/commands.h"
#include "cli/device_list.h"
#include "cli/library_session.h"

namespace cli {

namespace {

struct Survey {
    std::vector<ListedDevice> appliances;
    std::vector<std::string> leftAlone;  // "path (name): why"
};

Survey surveyDisks()
{
    LibrarySession session;  // released before the workers start their own
    Survey survey;
    for (const auto& d : listDevices()) {
        if (DiskNeedsSetUp(d.path.c_str()))
            survey.leftAlone.push_back(d.path + " (" + d.label() +
                                       "): not in the appliance's layout (orvane setup --device " +
                                       d.path + " sets it up)");
        else
            survey.appliances.push_back(d);
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

}  // namespace

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

std::vector<std::string> workerCommand(const CommandLine& line, std::vector<std::string> args)
{
    if (line.machine)
        args.insert(args.begin(), {"--machine", *line.machine});
    return args;
}

int upgradeAll(const std::string& image, const CommandLine& line, std::ostream& out)
{
    const std::size_t atOnce = jobsOption(line);
    const Survey survey = surveyDisks();
    for (const auto& why : survey.leftAlone)
        out << "Left alone: " << why << '\n';
    if (survey.appliances.empty())
        throw CommandFailure("no appliance disk to upgrade (orvane devices lists the USB storage disks)");
    std::string list;
    for (const auto& d : survey.appliances)
        list += "\n  " + d.path + "\t" + d.label();
    if (!line.option("--yes") &&
        !askToGoOn("The kernel and rootfs of " + image + " will replace the firmware on " +
                       std::to_string(survey.appliances.size()) + " disks:" + list,
                   out))
        throw CommandFailure("upgrade cancelled; nothing was written");
    out << "Upgrading " << survey.appliances.size() << " disks with " << image << ":" << std::endl;

    std::vector<DiskJob> jobs;
    std::vector<std::string> names;
    for (const auto& d : survey.appliances) {
        jobs.push_back({d.path, workerCommand(line, {"upgrade", image, "--yes", "--device", d.path,
                                                     "--restart-when-told"})});
        names.push_back(d.path);
    }
    BatchDisplay display(out, &out == &std::cout && ::isatty(STDOUT_FILENO), names);
    const auto ends = runDiskJobs(jobs, atOnce, display);
    printSummary(survey.appliances, ends, out);
    std::size_t failed = 0;
    for (const auto& end : ends)
        failed += end.exitCode != kSuccess;
    if (failed == 0) {
        out << "All " << ends.size() << " disks upgraded.\n";
        return kSuccess;
    }
    out << failed << " of " << ends.size() << " disks failed.\n";
    return kFailure;
}

}  // namespace cli
