// orvane setup: the appliance disk laid out afresh by the format worker the
// disk setup page runs, its stages and format percentages shown as they go.
// The upgrade uses the same worker to give a blank disk its system partition.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/disksetup/DiskSetUp.h"
#include "app/core/disksetup/FormatDevice.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/support/WideText.h"
#include "cli/batch/restart_turn.h"
#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/device_list.h"
#include "cli/device_tool.h"
#include "cli/job_lock.h"
#include "cli/job_stop.h"
#include "cli/library_session.h"
#include "cli/system_partition.h"
#include "cli/terminal_width.h"
#include "kx/kx.h"

namespace cli {

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
// What the disk setup page accepts for one size.
constexpr std::uint32_t kSizeLimitMiB = 2000000;
// mkntfs here takes 2 MiB; the disk setup page asks for 100 MiB, the larger.
constexpr std::int64_t kPublicMinMiB = 100;

std::string publicLabel(int n) { return WideToUtf8(GetFormatPublicPartitionText()) + "-" + std::to_string(n); }

std::string formatError(int code, std::intptr_t n)
{
    switch (static_cast<FormatError>(code)) {
    case FormatError::NoDisk: return "the disk's information could not be had";
    case FormatError::NotCleared:
        return "the gptsurplus region could not be zeroed or the old partitions could not be deleted";
    case FormatError::NotCreated:
        return "the partitions could not be created, or the disk did not become ready; unplug the device "
               "and plug it in again";
    case FormatError::NotFormatted:
        return "formatting public partition " + std::to_string(n) + " (" + publicLabel(static_cast<int>(n)) +
               ") failed; the new partitions are in place, not all of them formatted";
    case FormatError::DiskBusy: return "another job holds the disk; nothing was written";
    case FormatError::DiskGone:
        return "the disk went away while public partition " + std::to_string(n) + " (" +
               publicLabel(static_cast<int>(n)) + ") was being formatted; plug it in again and set it up again";
    default: return "the format worker reported error " + std::to_string(code);
    }
}

// Stands for the page window: shows the worker's stages and keeps how the
// run ended; while a partition is being formatted its percentage is polled.
class SetupDisplay : public WorkerNotify {
public:
    explicit SetupDisplay(std::ostream& out) : out_(out) {}

    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        std::lock_guard lock(mutex_);
        const auto stage = static_cast<FormatStage>(wParam);
        if (message == WM_FORMAT_PROGRESS && stage == FormatStage::Started)
            out_ << fitTerminal("Setting up: zeroing the gptsurplus region, deleting every partition, writing the "
                                "new table",
                                &out_ == &std::cout ? STDOUT_FILENO : -1)
                 << std::endl;
        else if (message == WM_FORMAT_PROGRESS && stage == FormatStage::Partitioned)
            out_ << "Partitions created and visible; formatting the public partitions" << std::endl;
        else if (message == WM_FORMAT_PROGRESS && stage == FormatStage::Done)
            ended_ = true;
        else if (message == WM_FORMAT_ERROR) {
            ended_ = true;
            error_ = static_cast<int>(wParam);
            errorParam_ = lParam;
        }
        if (ended_)
            changed_.notify_all();
    }
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override { post(message, wParam, lParam); }

    // Until the run's last message, showing the format percentage of the
    // partition being formatted about every tenth of a second. A format
    // quicker than that still gets its lines once a later one is seen, or
    // at the end for the formats expected.
    void follow(const CFormatDevice& worker, int expected)
    {
        std::unique_lock lock(mutex_);
        while (!changed_.wait_for(lock, std::chrono::milliseconds(100), [this] { return ended_; })) {
            int n = 0;
            PedWinPart* part = worker.GetFormattingPartition(&n);
            if (!part)
                continue;
            if (n != shownPart_) {
                catchUp(n - 1);
                showStart(n);
                continue;  // the percentage may still be the last format's
            }
            const int percent = static_cast<int>(kx_part_format_progress(part));
            if (percent >= shownPercent_ + 10 || (percent == 100 && shownPercent_ < 100))
                showPercent(percent);
        }
        if (!error_)
            catchUp(expected);
        else if (*error_ == CodeOf(FormatError::NotFormatted) || *error_ == CodeOf(FormatError::DiskGone))
            catchUp(static_cast<int>(errorParam_) - 1);
    }

    std::optional<int> error() const { return error_; }
    std::intptr_t errorParam() const { return errorParam_; }

private:
    void showPercent(int percent)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%3d%%", percent);
        out_ << "  " << text << " partition " << shownPart_ << std::endl;
        shownPercent_ = percent;
    }
    void showStart(int n)
    {
        shownPart_ = n;
        shownPercent_ = -1;
        out_ << "Formatting public partition " << n << " as NTFS, label " << publicLabel(n) << std::endl;
    }
    // A later partition or the end of the run means that the formats up to
    // `last` are done.
    void catchUp(int last)
    {
        if (shownPart_ > 0 && shownPart_ <= last && shownPercent_ < 100)
            showPercent(100);
        while (shownPart_ < last) {
            showStart(shownPart_ + 1);
            showPercent(100);
        }
    }

    std::ostream& out_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
    std::optional<int> error_;
    std::intptr_t errorParam_ = 0;
    int shownPart_ = 0;
    int shownPercent_ = -1;
};

kx_device* libraryDevice(const std::string& devpath)
{
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        if (d->path && devpath == d->path)
            return d;
    throw CommandFailure("the disk " + devpath + " went away; nothing was written");
}

std::uint32_t parseCount(const std::optional<std::string>& text)
{
    if (!text)
        throw UsageError("setup needs --partitions N (0 to 3 public partitions)");
    if (*text != "0" && *text != "1" && *text != "2" && *text != "3")
        throw UsageError("--partitions takes 0, 1, 2 or 3, not '" + *text + "'");
    return static_cast<std::uint32_t>(std::stoul(*text));
}

// The sizes of all public partitions but the last, in MiB.
std::vector<std::uint32_t> parseSizes(const std::string& text, std::uint32_t count)
{
    std::vector<std::uint32_t> sizes;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string word = text.substr(at, comma - at);
        const bool digits = !word.empty() && word.size() <= 7 &&
                            word.find_first_not_of("0123456789") == std::string::npos;
        const unsigned long value = digits ? std::stoul(word) : 0;
        if (value == 0 || value >= kSizeLimitMiB)
            throw UsageError("--sizes takes whole MiB from 1 to " + std::to_string(kSizeLimitMiB - 1) +
                             " separated by commas, not '" + word + "'");
        // Refused here, before any disk is opened: a format failing later
        // would leave the disk wiped.
        if (value < kPublicMinMiB)
            throw UsageError("public partition " + std::to_string(sizes.size() + 1) + " would be " + word +
                             " MiB; its NTFS needs at least " + std::to_string(kPublicMinMiB) +
                             " MiB; nothing was written");
        sizes.push_back(static_cast<std::uint32_t>(value));
        at = comma + 1;
    }
    if (count < 2 || sizes.size() != count - 1)
        throw UsageError("--sizes gives the sizes of all public partitions but the last, which takes the rest: " +
                         std::to_string(count < 2 ? 0 : count - 1) + " size(s) for " + std::to_string(count) +
                         " partition(s)");
    return sizes;
}

// MiB the last public partition is left with, before the table's alignment.
std::int64_t restMiB(std::int64_t diskBytes, const std::vector<std::uint32_t>& sizes)
{
    std::int64_t rest = diskBytes / static_cast<std::int64_t>(kMiB) - kFormatSystemSizeMiB;
    for (std::uint32_t s : sizes)
        rest -= s;
    return rest;
}

// Appliances and blank disks: a disk with partitions of another layout may
// hold someone's data, and is set up only when named with --device.
std::string whySetupLeavesAlone(const ListedDevice& d)
{
    if (!DiskNeedsSetUp(d.path.c_str()))
        return {};
    const kx_disk* disk = kx_disk_get(d.path.c_str());
    if (disk && disk->primary == 0 && disk->extended == 0 && disk->logical == 0)
        return {};
    return "has partitions of another layout (orvane setup --device " + d.path + " sets it up)";
}

int setupAll(const CommandLine& line, std::uint32_t count, const std::optional<std::string>& sizes, std::ostream& out)
{
    AllDisksJob job;
    job.verb = "set up";
    job.question = "Every partition, and all data on them, will be deleted on";
    job.whyLeftAlone = whySetupLeavesAlone;
    job.workerArgs = [&](const std::string&) {
        std::vector<std::string> args{"setup", "--partitions", std::to_string(count)};
        if (sizes)
            args.insert(args.end(), {"--sizes", *sizes});
        return args;
    };
    return runOnAllDisks(line, job, out);
}

}  // namespace

bool askToGoOn(const std::string& question, std::ostream& out)
{
    // Waiting for the operator, nothing is half done: a signal ends it all.
    const StopScope asking(nullptr);
    out << question << "\nGo on? [y/N] " << std::flush;
    std::string answer;
    const bool read = static_cast<bool>(std::getline(std::cin, answer));
    // An answer from a pipe is not echoed; show it so the output reads on.
    if (!::isatty(STDIN_FILENO))
        out << answer << '\n';
    if (!read)
        return false;
    for (auto& c : answer)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
}

std::string prepareDisk(const std::string& devpath, int count, const std::vector<std::uint32_t>& sizesMiB,
                        bool format, std::ostream& out, WorkerStop& stop, bool restartWhenTold)
{
    FormatSizes sizes;
    if (sizesMiB.size() > 0)
        sizes.nSize1 = sizesMiB[0];
    if (sizesMiB.size() > 1)
        sizes.nSize2 = sizesMiB[1];
    SetSelectedDevice(libraryDevice(devpath));
    SetupDisplay display(out);
    kx_device* back = nullptr;
    {
        CFormatDevice worker(ProcessSelection());
        worker.SetNotifyWindow(&display);
        worker.SetFormatParam(count, sizes, format ? 1 : 0);
        if (restartWhenTold)
            worker.SetBeforeRestart([&out] { waitForRestartTurn(out); });
        worker.BeginFormat();
        stop.running([&worker] { return worker.RequestStop(); }, kFinishingSetup);
        display.follow(worker, format ? count : 0);
        worker.Wait();
        stop.ended();
        if (worker.WritingBegun())
            stop.idle(kFinishingSetup);
        back = GetSelectedDevice();
        SetSelectedDevice(nullptr);
    }
    if (display.error() == CodeOf(FormatError::Quit))
        throw Stopped("setup stopped before its first write; nothing was written");
    if (display.error())
        throw CommandFailure("setting the disk up failed: " + formatError(*display.error(), display.errorParam()));
    if (!back || !back->path)
        throw CommandFailure("the disk did not come back after its restart; orvane devices shows whether it is there");
    out << "Disk set up";
    if (back->path != devpath)
        out << "; it is back as " << back->path;
    out << ".\n";
    return back->path;
}

int runSetup(const CommandLine& line, std::ostream& out)
{
    line.allowOnly(
        {"--partitions", "--sizes", "--yes", "--device", "--all", "--jobs", "--restart-when-told", "--usb-id"});
    if (line.words.size() != 1)
        throw UsageError("setup takes options only");
    checkAllOptions(line);
    const std::uint32_t count = parseCount(line.option("--partitions"));
    const auto sizesText = line.option("--sizes");
    std::vector<std::uint32_t> sizes;
    if (sizesText)
        sizes = parseSizes(*sizesText, count);
    if (line.option("--all"))
        return setupAll(line, count, sizesText, out);

    LibrarySession session(line.option("--usb-id"));
    const auto devices = listDevices();
    checkGivenDisk(devices, line.option("--device"), line.option("--usb-id"));
    const std::string devpath = chooseDevice(devices, line.option("--device"));
    kx_device* device = libraryDevice(devpath);
    const std::int64_t room = restMiB(device->size, {});
    if (room < 1)
        throw CommandFailure("the disk " + devpath +
                             " is too small for the appliance's system partition, which ends at 1 GiB");
    // An even split; the last partition takes what the rounding leaves.
    if (!sizesText && count > 1)
        sizes.assign(count - 1, static_cast<std::uint32_t>(room / count));
    const std::int64_t last = restMiB(device->size, sizes);
    if (count > 0 && last < 1)
        throw CommandFailure("the sizes leave nothing for the last public partition: the disk has room for " +
                             std::to_string(room) + " MiB beside the system partition");
    if (count > 0 && last < kPublicMinMiB)
        throw CommandFailure("public partition " + std::to_string(count) + " would be about " + std::to_string(last) +
                             " MiB; its NTFS needs at least " + std::to_string(kPublicMinMiB) +
                             " MiB; nothing was written");

    out << "New layout of " << devpath << " (" << (device->name ? device->name : "") << "):\n"
        << "  system partition  " << systemPartitionText() << "\n";
    for (std::uint32_t i = 0; i < count; ++i) {
        out << "  " << publicLabel(static_cast<int>(i + 1)) << "  NTFS, ";
        if (i + 1 < count)
            out << sizes[i] << " MiB\n";
        else
            out << "the rest (about " << last << " MiB)\n";
    }
    if (!line.option("--yes") &&
        !askToGoOn("Every partition on the disk will be deleted, and all data on them lost.", out))
        throw CommandFailure("setup cancelled; nothing was written");
    // From here a signal no longer ends the program at once: the worker
    // decides whether anything is written.
    WorkerStop stop(kStoppingNothingWritten);
    const StopScope stopping(std::ref(stop));
    const DiskJobLock lock = lockDisk(devpath, DiskJobKind::Setup);
    placeDeviceTool();
    stopIfAsked("setup stopped; nothing was written");
    prepareDisk(devpath, static_cast<int>(count), sizes, true, out, stop,
                line.option("--restart-when-told").has_value());
    return kSuccess;
}

}  // namespace cli
