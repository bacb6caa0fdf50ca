// Reads sysfs with suspicion: attributes are short text, numbers are
// checked before use, and a disk whose attributes make no sense is kept
// with the reason instead of half-read.
#include "host/usb_disks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <regex>
#include <system_error>

#include "host/host_roots.h"
#include "host/tree_trust.h"

namespace host {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAttributeLimit = 256;

// In a test tree each entry is checked before it is read; the first one
// another user could have changed refuses the disk.
bool trusted(const fs::path& entry, HostDisk& d)
{
    if (!sysfsRootMoved())
        return true;
    std::string why = treeEntryProblem(entry);
    if (!why.empty() && d.untrusted.empty())
        d.untrusted = std::move(why);
    return d.untrusted.empty();
}

// The attribute's first line, trailing blanks cut; empty when unreadable.
std::string attribute(const fs::path& file, HostDisk& d)
{
    std::error_code ec;
    if (fs::exists(file, ec) && !trusted(file, d))
        return {};
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    if (line.size() > kAttributeLimit)
        line.resize(kAttributeLimit);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// Printable ASCII only, at most limit characters: these end up in INQUIRY
// answers and names.
std::string printable(std::string text, std::size_t limit)
{
    for (auto& c : text)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

bool wholeNumber(const std::string& text, std::uint64_t& out, int base = 10)
{
    if (text.empty() || text.size() > 20)
        return false;
    std::size_t used = 0;
    try {
        out = std::stoull(text, &used, base);
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size() && text[0] != '-' && text[0] != '+';
}

bool deviceId(const fs::path& file, dev_t& out, HostDisk& d)
{
    const std::string text = attribute(file, d);
    const auto colon = text.find(':');
    std::uint64_t major = 0, minor = 0;
    if (colon == std::string::npos || !wholeNumber(text.substr(0, colon), major) ||
        !wholeNumber(text.substr(colon + 1), minor) || major > 0xFFF || minor > 0xFFFFF)
        return false;
    out = makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor));
    return true;
}

bool hexId(const fs::path& file, std::uint16_t& out, HostDisk& d)
{
    const std::string text = attribute(file, d);
    std::uint64_t value = 0;
    if (text.size() != 4 || !wholeNumber(text, value, 16))
        return false;
    out = static_cast<std::uint16_t>(value);
    return true;
}

// USB interfaces are named bus-port[.port...]:config.interface ("1-1.2:1.0").
bool isUsbInterface(const std::string& name)
{
    static const std::regex pattern(R"(\d+-\d+(\.\d+)*:\d+\.\d+)");
    return std::regex_match(name, pattern);
}

void readUsb(const fs::path& devicePath, HostDisk& d)
{
    fs::path walked;
    for (const auto& part : devicePath) {
        if (isUsbInterface(part.string())) {
            d.usb = true;
            d.usbDevice = walked;
            d.port = walked.filename().string();
        }
        walked /= part;
    }
    if (!d.usb)
        return;
    if (!hexId(d.usbDevice / "idVendor", d.vid, d) || !hexId(d.usbDevice / "idProduct", d.pid, d))
        d.unreadable = "its USB device " + d.usbDevice.string() + " has no valid idVendor and idProduct";
    d.serial = printable(attribute(d.usbDevice / "serial", d), 64);
}

void readPartitions(const fs::path& dir, HostDisk& d)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(d.block.name, 0) != 0 || !fs::exists(entry.path() / "partition", ec))
            continue;
        BlockName part{name, 0};
        if (!trusted(entry.path(), d))
            continue;
        if (!deviceId(entry.path() / "dev", part.id, d)) {
            // The kernel takes partitions away and back while it reads the
            // table again (udev asks it to after every writer's close): one
            // gone mid-look is settling, not a tree to distrust.
            if (fs::exists(entry.path() / "dev", ec))
                d.unreadable = "partition " + name + " has no valid device number";
            continue;
        }
        d.partitions.push_back(part);
    }
    std::sort(d.partitions.begin(), d.partitions.end(),
              [](const BlockName& a, const BlockName& b) { return a.name < b.name; });
}

bool readDisk(const fs::path& entry, HostDisk& d)
{
    std::error_code ec;
    d = HostDisk{};
    d.block.name = entry.filename().string();
    d.folder = entry;
    if (!fs::exists(entry / "device", ec))
        return false;  // loop, ram, zram: nothing behind them
    const fs::path dir = fs::canonical(entry, ec);
    if (ec)
        return false;
    d.node = devRoot() / d.block.name;
    if (trusted(entry, d) && trusted(entry / "device", d))
        readUsb(fs::canonical(entry / "device", ec), d);
    if (d.usb)
        trusted(d.usbDevice, d);
    d.vendor = printable(attribute(entry / "device" / "vendor", d), 8);
    d.product = printable(attribute(entry / "device" / "model", d), 16);
    d.revision = printable(attribute(entry / "device" / "rev", d), 4);
    d.removable = attribute(entry / "removable", d) == "1";
    // The node is what gets opened for writing: in a test tree it must be
    // as much the user's own as the tree.
    if (struct stat st {}; devRootMoved() && ::lstat(d.node.c_str(), &st) == 0)
        if (std::string why = treeEntryProblem(d.node); !why.empty() && d.untrusted.empty())
            d.untrusted = std::move(why);
    std::uint64_t sectors = 0;
    if (!deviceId(entry / "dev", d.block.id, d))
        d.unreadable = "it has no valid device number";
    else if (!wholeNumber(attribute(entry / "size", d), sectors) || sectors > std::numeric_limits<std::uint64_t>::max() / 512)
        d.unreadable = "its size is not a valid sector count";
    d.size = sectors * 512;
    readPartitions(dir, d);
    return true;
}

}  // namespace

bool scanBlockDevice(dev_t id, HostDisk& out)
{
    out = HostDisk{};
    if (!hostRootsProblem().empty())
        return false;
    const fs::path entry =
        sysfsRoot() / "dev" / "block" / (std::to_string(major(id)) + ":" + std::to_string(minor(id)));
    std::error_code ec;
    if (!fs::exists(entry, ec))
        return false;
    out.block.id = id;
    out.folder = entry;
    out.block.name = entry.filename().string();
    if (!trusted(entry, out))
        return true;
    const fs::path dir = fs::canonical(entry, ec);
    if (ec)
        return false;
    out.block.name = dir.filename().string();
    dev_t listed = 0;
    if (!deviceId(entry / "dev", listed, out) || listed != id)
        out.unreadable = "its sysfs folder " + dir.string() + " gives another device number";
    readPartitions(dir, out);
    return true;
}

std::vector<HostDisk> scanHostDisks()
{
    std::vector<HostDisk> disks;
    if (!hostRootsProblem().empty())
        return disks;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysfsRoot() / "block", ec)) {
        HostDisk d;
        if (readDisk(entry.path(), d))
            disks.push_back(std::move(d));
    }
    std::sort(disks.begin(), disks.end(), [](const HostDisk& a, const HostDisk& b) { return a.block.name < b.block.name; });
    return disks;
}

bool scanHostDisk(const std::string& name, HostDisk& out)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == ".." ||
        !hostRootsProblem().empty())
        return false;
    return readDisk(sysfsRoot() / "block" / name, out);
}

}  // namespace host
