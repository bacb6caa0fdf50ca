// orvane upgrade: the firmware upgrade of one appliance disk, with the
// application's checks, run by the same worker, its stages shown as they go.
#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

#include "app/core/SelectedDevice.h"
#include "app/core/UpgradeHandleThread.h"
#include "app/core/WideText.h"
#include "cli/commands.h"
#include "cli/device_choice.h"
#include "cli/device_tool.h"
#include "cli/image_check.h"
#include "cli/library_session.h"
#include "cli/upgrade_display.h"
#include "kx/kx.h"

namespace cli {

namespace {

void verifyImage(const std::string& image, std::ostream& out)
{
    const ImageCheck check = checkImage(image);
    if (!check.acceptable())
        throw CommandFailure(image + " does not verify: " + check.reason() + "; nothing was written");
    out << "Image " << image << ": checksum holds; kernel " << check.header.nKSize << " bytes, rootfs "
        << check.header.nRSize << " bytes.\n";
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
    out << "The kernel and rootfs of " << image << " will replace the firmware on\n  " << device.path << "\t"
        << device.label() << "\nGo on? [y/N] " << std::flush;
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

kx_device* deviceAt(const std::string& devpath)
{
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
        if (d->path && devpath == d->path)
            return d;
    throw CommandFailure("the disk " + devpath + " went away; nothing was written");
}

// The worker restarts the selected device and selects what it finds again.
struct SelectionScope {
    explicit SelectionScope(kx_device* device) { SetSelectedDevice(device); }
    ~SelectionScope() { SetSelectedDevice(nullptr); }
};

int upgrade(const std::string& image, const std::string& devpath, std::ostream& out)
{
    SelectionScope selection(deviceAt(devpath));
    TerminalProgress progress(out);
    ResultReceiver receiver;
    {
        CUpgradeHandleThread worker;
        worker.SetWindow(&receiver);
        worker.SetProgress(&progress);
        worker.SetJob(kWorkerUpgrade, widePath(image), Utf8ToWide(devpath));
        worker.Start();
        worker.Wait();
    }
    const int result = receiver.result().value_or(-1);
    if (result == kUpgradeSucceeded)
        progress.finished();
    out << "Result " << result << ": " << describeUpgradeResult(result, progress.lastStage()) << ".\n";
    if (result != kUpgradeSucceeded)
        return kFailure;
    if (kx_device* back = GetSelectedDevice(); back && back->path)
        out << "The disk is back as " << back->path << ".\n";
    else
        out << "The disk did not come back after its restart; orvane devices shows whether it is there.\n";
    return kSuccess;
}

}  // namespace

int runUpgrade(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 2)
        throw UsageError("upgrade needs one image file");
    line.allowOnly({"--device", "--yes"});
    const std::string image = line.words[1];
    // The image first: a bad one never gets as far as a disk.
    verifyImage(image, out);

    LibrarySession session;
    const auto devices = listDevices();
    const std::string devpath = chooseDevice(devices, line.option("--device"));
    const ListedDevice& device = listed(devices, devpath);
    // Asked before the confirmation: the answer would be wasted on a disk
    // that cannot be upgraded yet.
    if (const int need = kx_dev_is_need_format(devpath.c_str()); need == 0 || need == 1) {
        std::cerr << "orvane: " << devpath << " (" << device.label()
                  << ") is not set up for the appliance yet.\n"
                     "It needs the appliance's system partition before its firmware can be upgraded;\n"
                     "set the disk up first. Nothing was written.\n";
        return kNeedsSetup;
    }
    if (!line.option("--yes") && !confirmed(image, device, out))
        throw CommandFailure("upgrade cancelled; nothing was written");
    placeDeviceTool();
    return upgrade(image, devpath, out);
}

}  // namespace cli
