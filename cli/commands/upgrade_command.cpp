// orvane upgrade: the firmware upgrade of one appliance disk, with the
// application's checks, run by the same worker, its stages shown as they go.
// A disk not set up yet is first given its system partition, as the
// firmware page does.
#include <unistd.h>

#include <iostream>
#include <string>

#include "app/core/disksetup/DiskSetUp.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/support/WideText.h"
#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/device_tool.h"
#include "cli/batch/restart_turn.h"
#include "cli/image/image_check.h"
#include "cli/job_lock.h"
#include "cli/job_stop.h"
#include "cli/library_session.h"
#include "cli/terminal_width.h"
#include "cli/upgrade_display.h"
#include "kx/kx.h"

namespace cli {

namespace {

void verifyImage(const std::string& image, std::ostream& out)
{
    const ImageCheck check = checkImage(image);
    if (!check.acceptable())
        throw CommandFailure(image + " does not verify: " + check.reason() + "; nothing was written");
    out << fitTerminal("Image " + image + ": checksum holds; kernel " + std::to_string(check.header.nKSize) +
                           " bytes, rootfs " + std::to_string(check.header.nRSize) + " bytes.",
                       &out == &std::cout ? STDOUT_FILENO : -1)
        << '\n';
}

const ListedDevice& listed(const std::vector<ListedDevice>& devices, const std::string& devpath)
{
    for (const auto& d : devices)
        if (d.path == devpath)
            return d;
    throw CommandFailure("no USB storage disk at " + devpath);
}

bool confirmed(const std::string& image, const ListedDevice& device, std::ostream& out)
{
    return askToGoOn("The kernel and rootfs of " + image + " will replace the firmware on\n  " + device.path + "\t" +
                         device.label(),
                     out);
}

kx_device* deviceAt(const std::string& devpath)
{
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        if (d->path && devpath == d->path)
            return d;
    throw CommandFailure("the disk " + devpath + " went away; nothing was written");
}

// Is the disk there now (after a fresh look at the attached disks)?
bool diskListed(const std::string& devpath)
{
    kx_dev_probe();
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        if (d->path && devpath == d->path)
            return true;
    return false;
}

// The worker restarts the selected device and selects what it finds again.
struct SelectionScope {
    explicit SelectionScope(kx_device* device) { SetSelectedDevice(device); }
    ~SelectionScope() { SetSelectedDevice(nullptr); }
};

// A blank disk given its system partition first, then stopped.
constexpr const char* kStoppedAfterSetUp =
    "upgrade stopped once the disk was set up: it has its system partition, its firmware was not written";

int upgrade(const std::string& image, const std::string& devpath, bool restartWhenTold, bool setUp, WorkerStop& stop,
            std::ostream& out)
{
    SelectionScope selection(deviceAt(devpath));
    TerminalProgress progress(out);
    if (restartWhenTold)
        progress.beforeRestart([&out] { waitForRestartTurn(out); });
    ResultReceiver receiver;
    RestartOutcome restart = RestartOutcome::NotTried;
    {
        CUpgradeHandleThread worker(ProcessSelection());
        worker.SetWindow(&receiver);
        worker.SetProgress(&progress);
        worker.SetJob(WorkerOperation::Upgrade, widePath(image), Utf8ToWide(devpath));
        worker.Start();
        stop.running([&worker] { return worker.RequestStop(); }, kFinishingFirmware);
        worker.Wait();
        stop.ended();
        if (worker.WritingBegun())
            stop.idle(kFinishingFirmware);
        restart = worker.LastRestart();
    }
    const int result = receiver.result().value_or(-1);
    if (result == CodeOf(UpgradeResult::Quit))
        throw Stopped(setUp ? kStoppedAfterSetUp : "upgrade stopped before its first write; nothing was written");
    const bool succeeded = result == CodeOf(UpgradeResult::Succeeded);
    if (succeeded)
        progress.finished();
    // A disk that went away is named as such, whatever code its last open gave.
    const bool gone = !succeeded && result != CodeOf(UpgradeResult::FileNotVerified) && !diskListed(devpath);
    // Whole lines for the parent of --all, which reads them; fitted only
    // to a terminal.
    const int terminal = &out == &std::cout ? STDOUT_FILENO : -1;
    out << fitTerminal("Result " + std::to_string(result) + ": " +
                           (gone ? std::string(progress.lastStage() ? UpgradeStageName(*progress.lastStage())
                                                                    : "the upgrade") +
                                       " failed: the disk is not connected"
                                 : describeUpgradeResult(result, progress.lastStage(),
                                                         [&devpath] { return readUpgradeFlagWord(devpath); })) +
                           ".",
                       terminal)
        << '\n';
    if (!succeeded)
        return kFailure;
    if (restart == RestartOutcome::Failed) {
        out << fitTerminal(kRestartByHandText, terminal) << '\n';
        return kRestartByHand;
    }
    if (kx_device* back = GetSelectedDevice(); restart == RestartOutcome::Back && back && back->path)
        out << "The disk is back as " << back->path << ".\n";
    else
        out << fitTerminal("The disk did not come back after its restart; orvane devices shows whether it is there.",
                           terminal)
            << '\n';
    return kSuccess;
}

// Only disks in the appliance's layout: a blank one is set up by a single
// upgrade, after its own question.
int upgradeAll(const std::string& image, const CommandLine& line, std::ostream& out)
{
    AllDisksJob job;
    job.verb = "upgrade";
    job.question = "The kernel and rootfs of " + image + " will replace the firmware on";
    job.whyLeftAlone = [](const ListedDevice& d) {
        return DiskNeedsSetUp(d.path.c_str())
                   ? "not in the appliance's layout (orvane setup --device " + d.path + " sets it up)"
                   : std::string();
    };
    job.workerArgs = [&image](const std::string&) { return std::vector<std::string>{"upgrade", image}; };
    return runOnAllDisks(line, job, out);
}

}  // namespace

int runUpgrade(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device", "--yes", "--all", "--jobs", "--restart-when-told", "--usb-id"});
    if (line.words.size() != 2)
        throw UsageError("upgrade needs one image file");
    checkAllOptions(line);
    const std::string image = line.words[1];
    // The image first: a bad one never gets as far as a disk. A worker of
    // --all leaves that to the command that started it: its upgrade checks
    // the very bytes it writes, and it is given only disks set up already.
    const bool worker = line.option("--restart-when-told").has_value();
    if (!worker)
        verifyImage(image, out);
    if (line.option("--all"))
        return upgradeAll(image, line, out);

    // A worker of --all looks at its own disk only: the others are other
    // workers', and the parent has searched them all already.
    LibrarySession session(line.option("--usb-id"));
    const auto devices = listDevices();
    checkGivenDisk(devices, line.option("--device"), line.option("--usb-id"));
    std::string devpath = chooseDevice(devices, line.option("--device"));
    const ListedDevice& device = listed(devices, devpath);
    const bool asking = !line.option("--yes");
    if (asking && !confirmed(image, device, out))
        throw CommandFailure("upgrade cancelled; nothing was written");
    // From here a signal no longer ends the program at once: the workers
    // decide whether anything is written.
    WorkerStop stop(kStoppingNothingWritten);
    const StopScope stopping(std::ref(stop));
    // Ours from before the set-up verdict to the end of the restart.
    const DiskJobLock lock = lockDisk(devpath, DiskJobKind::Upgrade);
    // A disk without the appliance's system partition gets it first, and
    // only it: the public partitions are the disk setup's business.
    const bool blank = DiskNeedsSetUp(devpath.c_str());
    if (blank && worker)
        throw CommandFailure(devpath + " is no longer in the appliance's layout; nothing was written");
    if (blank) {
        out << devpath << " (" << device.label() << ") is not set up for the appliance yet: its firmware\n"
            << "needs the appliance's system partition.\n";
        if (asking && !askToGoOn("Setting it up deletes every partition on the disk, and all data on them,\n"
                                 "and leaves the system partition alone on it.",
                                 out)) {
            std::cerr << "orvane: setup cancelled; nothing was written.\n";
            return kNeedsSetup;
        }
    }
    placeDeviceTool();
    stopIfAsked("upgrade stopped; nothing was written");
    if (blank) {
        devpath = prepareDisk(devpath, 0, {}, false, out, stop);
        stop.idle("stopping: the disk is set up; its firmware will not be written");
        stopIfAsked(kStoppedAfterSetUp);
    }
    return upgrade(image, devpath, worker, blank, stop, out);
}

}  // namespace cli
