// orvane usbfilter: the USB filter driver for scripts: install it, see which
// disks list a filter, attach it to a disk or take it off, and restart a
// disk's node.
#include <string>

#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/library_session.h"
#include "kx/kx.h"

namespace cli {

namespace {

int install(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 3)
        throw UsageError("usbfilter install needs the folder holding the driver file");
    line.allowOnly({});
    const std::string& folder = line.words[2];
    LibrarySession session;
    if (kx_load_usb_driver(folder.c_str()) != 1)
        throw CommandFailure("the filter driver could not be installed from " + folder +
                             " (it needs kxusbflt.sys there, or kxusbflt-x64.sys on 64-bit Windows, and "
                             "administrator rights)");
    out << "Filter driver installed; service kxusbflt registered.\n";
    return kSuccess;
}

void showStatus(const std::string& devpath, std::ostream& out)
{
    out << devpath << '\t' << (kx_is_load_usb_driver_dev(devpath.c_str()) == 1 ? "filter listed" : "no filter")
        << '\n';
}

int status(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device"});
    LibrarySession session;
    const auto devices = listDevices();
    if (line.option("--device")) {
        showStatus(chooseDevice(devices, line.option("--device")), out);
        return kSuccess;
    }
    if (devices.empty())
        out << "No USB storage disk found.\n";
    for (const auto& d : devices)
        showStatus(d.path, out);
    return kSuccess;
}

int attachAll(std::ostream& out)
{
    kx_load_usb_driver_dev_all();
    for (const auto& d : listDevices())
        showStatus(d.path, out);
    return kSuccess;
}

int attach(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device", "--all"});
    if (line.option("--all") && line.option("--device"))
        throw UsageError("usbfilter attach takes --device or --all, not both");
    LibrarySession session;
    if (line.option("--all"))
        return attachAll(out);
    const std::string devpath = chooseDevice(listDevices(), line.option("--device"));
    if (kx_is_load_usb_driver_dev(devpath.c_str()) == 1) {
        out << devpath << " already lists a filter; nothing was changed.\n";
        return kSuccess;
    }
    switch (kx_load_usb_driver_dev(devpath.c_str())) {
    case 0:
        out << "Filter attached to " << devpath << " and the disk restarted.\n";
        return kSuccess;
    case 1:
        throw CommandFailure("Windows asked for a reboot to restart " + devpath +
                             "; the filter was taken off again");
    default:
        throw CommandFailure("the filter could not be attached to " + devpath + "; it was taken off again");
    }
}

int detach(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device"});
    LibrarySession session;
    const std::string devpath = chooseDevice(listDevices(), line.option("--device"));
    if (kx_unload_usb_driver_dev(devpath.c_str()) != 0)
        throw CommandFailure("the filter could not be taken off " + devpath);
    out << "Filter taken off " << devpath << "; it leaves the disk when the disk next restarts.\n";
    return kSuccess;
}

int testRestart(const CommandLine& line, std::ostream& out)
{
    line.allowOnly({"--device"});
    LibrarySession session;
    const std::string devpath = chooseDevice(listDevices(), line.option("--device"));
    switch (kx_test_load_usb_driver_dev(devpath.c_str())) {
    case 0:
        out << devpath << " restarted.\n";
        return kSuccess;
    case 1:
        out << devpath << " restarted; Windows asks for a reboot to finish.\n";
        return kNeedsReboot;
    default:
        throw CommandFailure(devpath + " could not be restarted");
    }
}

}  // namespace

int runUsbFilter(const CommandLine& line, std::ostream& out)
{
    const std::string sub = line.words.size() > 1 ? line.words[1] : "";
    if (sub == "install")
        return install(line, out);
    if (line.words.size() > 2)
        throw UsageError("usbfilter " + sub + " takes no further words");
    if (sub == "status")
        return status(line, out);
    if (sub == "attach")
        return attach(line, out);
    if (sub == "detach")
        return detach(line, out);
    if (sub == "test-restart")
        return testRestart(line, out);
    throw UsageError("usbfilter needs install, status, attach, detach or test-restart");
}

}  // namespace cli
