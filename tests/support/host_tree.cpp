#include "support/host_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_machine.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

void put(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

const char* kUsbHost = "sys/devices/pci0000:00/0000:00:14.0/usb1";

fs::path scsiUnder(const fs::path& usbDevice, const std::string& port)
{
    return usbDevice / (port + ":1.0") / "host6/target6:0:0/6:0:0:0";
}

}  // namespace

// Detached on destruction, so no test leaves a loop device behind.
struct HostTree::Loop {
    explicit Loop(const fs::path& file)
    {
        std::string out;
        if (runCommand("losetup --find --show " + file.string() + " 2>/dev/null", &out) == 0 &&
            out.rfind("/dev/loop", 0) == 0)
            name = out.substr(0, out.find('\n'));
    }
    ~Loop()
    {
        if (!name.empty())
            runCommand("losetup -d " + name);
    }
    std::string name;
};

HostTree::HostTree()
{
    char pattern[] = "/tmp/orvane-host-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a temporary folder");
    root_ = pattern;
    for (const char* dir : {"sys/block", "sys/bus/usb/devices", "dev", "proc/self"})
        fs::create_directories(root_ / dir);
    put(root_ / "proc/self/mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
    put(root_ / "proc/swaps", "Filename Type Size Used Priority\n");
    ::setenv("ORVANE_HOST_SYSFS", (root_ / "sys").c_str(), 1);
    ::setenv("ORVANE_HOST_DEV", (root_ / "dev").c_str(), 1);
    ::setenv("ORVANE_HOST_PROC", (root_ / "proc").c_str(), 1);
}

HostTree::~HostTree()
{
    stopHub();
    loops_.clear();
    ::unsetenv("ORVANE_HOST_SYSFS");
    ::unsetenv("ORVANE_HOST_DEV");
    ::unsetenv("ORVANE_HOST_PROC");
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path HostTree::addDisk(const std::string& name, const std::string& port, const std::string& serial,
                           std::uint64_t sectors, bool loop)
{
    const fs::path usbDevice = root_ / kUsbHost / port;
    const fs::path scsi =
        port.empty() ? root_ / "sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0" : scsiUnder(usbDevice, port);
    if (!port.empty()) {
        put(usbDevice / "idVendor", "1209\n");
        put(usbDevice / "idProduct", "4f43\n");
        if (!serial.empty())
            put(usbDevice / "serial", serial + "\n");
        put(usbDevice / "authorized", "1\n");
        if (!fs::exists(root_ / "sys/bus/usb/devices" / port))
            fs::create_directory_symlink(usbDevice, root_ / "sys/bus/usb/devices" / port);
    }
    put(scsi / "vendor", "ORVANE  \n");
    put(scsi / "model", "Appliance Disk  \n");
    put(scsi / "rev", "1.00\n");
    const fs::path block = scsi / "block" / name;
    fs::create_directories(block / "holders");
    fs::create_directory_symlink(scsi, block / "device");
    put(block / "size", std::to_string(sectors) + "\n");
    put(block / "removable", "0\n");
    const fs::path image = root_ / (name + ".img");
    std::ofstream(image).close();
    fs::resize_file(image, sectors * 512);
    dev_t id = makedev(8, 16 + 16 * static_cast<unsigned>(disks_++));
    bool looped = false;
    if (loop) {
        loops_.push_back(std::make_unique<Loop>(image));
        struct stat st {};
        looped = !loops_.back()->name.empty() && ::stat(loops_.back()->name.c_str(), &st) == 0;
        if (looped) {
            id = st.st_rdev;
            loopNode_ = loops_.back()->name;
        } else {
            std::cout << "note: no loop device could be had; " << name << " is a plain file\n";
        }
    }
    put(block / "dev", std::to_string(major(id)) + ":" + std::to_string(minor(id)) + "\n");
    if (looped)
        EXPECT_EQ(::mknod((root_ / "dev" / name).c_str(), S_IFBLK | 0600, id), 0);
    else
        fs::copy_file(image, root_ / "dev" / name);
    fs::create_directory_symlink(block, root_ / "sys/block" / name);
    return block;
}

void HostTree::addPartition(const fs::path& block, const std::string& name, unsigned major, unsigned minor)
{
    put(block / name / "partition", "1\n");
    put(block / name / "dev", std::to_string(major) + ":" + std::to_string(minor) + "\n");
    fs::create_directories(block / name / "holders");
}

void HostTree::mount(const std::string& majorMinor, const std::string& point)
{
    std::ofstream(root_ / "proc/self/mountinfo", std::ios::app)
        << "40 22 " << majorMinor << " / " << point << " rw - vfat /dev/x rw\n";
}

void HostTree::addSwap(const std::string& path)
{
    std::ofstream(root_ / "proc/swaps", std::ios::app) << path << " partition 1024 0 -2\n";
}

void HostTree::startHub(const std::string& port, const std::string& oldName, const std::string& newName)
{
    const fs::path authorized = root_ / "sys/bus/usb/devices" / port / "authorized";
    fs::remove(authorized);
    ASSERT_EQ(::mkfifo(authorized.c_str(), 0600), 0);
    const fs::path sys = root_ / "sys";
    const fs::path dev = root_ / "dev";
    const fs::path blocks = scsiUnder(root_ / kUsbHost / port, port) / "block";
    hub_ = std::thread([=, this] {
        // Kept open for reading, so writers never wait and no write is missed.
        const int fd = ::open(authorized.c_str(), O_RDWR | O_NONBLOCK);
        std::string current = oldName, pending;
        while (fd >= 0 && !stop_) {
            char c = 0;
            if (::read(fd, &c, 1) != 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            {
                std::lock_guard guard(writesLock_);
                writes_ += c;
            }
            std::error_code ec;
            if (c == '0' && !current.empty()) {  // the device leaves: its disk and node go
                pending = current == oldName ? newName : oldName;
                fs::remove(sys / "block" / current, ec);
                fs::rename(dev / current, dev / pending, ec);
                fs::rename(blocks / current, blocks / pending, ec);
                current.clear();
            } else if (c == '1' && current.empty()) {  // found again, a while later, under the other name
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                fs::create_directory_symlink(blocks / pending, sys / "block" / pending, ec);
                current = pending;
            }
        }
        if (fd >= 0)
            ::close(fd);
    });
}

void HostTree::stopHub()
{
    stop_ = true;
    if (hub_.joinable())
        hub_.join();
}

std::string HostTree::hubWrites() const
{
    std::lock_guard guard(writesLock_);
    return writes_;
}

}  // namespace testing_support
