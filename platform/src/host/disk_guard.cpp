#include "host/disk_guard.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "host/host_roots.h"
#include "host/tree_trust.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// The whole disk or one of its partitions answers to match.
template <typename Match>
bool anyBlockOf(const HostDisk& disk, Match match)
{
    return match(disk.block) || std::any_of(disk.partitions.begin(), disk.partitions.end(), match);
}

bool ours(const HostDisk& disk, dev_t id)
{
    return anyBlockOf(disk, [id](const BlockName& b) { return b.id == id; });
}

bool oursByName(const HostDisk& disk, const std::string& name)
{
    return anyBlockOf(disk, [&name](const BlockName& b) { return b.name == name; });
}

// mountinfo: id parent major:minor root mountpoint ...
std::string mountRefusal(const HostDisk& disk)
{
    const fs::path table = procRoot() / "self" / "mountinfo";
    if (std::string why = usedEntryProblem(table, procRootMoved()); !why.empty())
        return "the mount table cannot be trusted: " + why;
    std::ifstream in(table);
    if (!in)
        return "the mount table " + table.string() + " cannot be read";
    std::string line;
    std::string mountedAt;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point;
        if (!(fields >> id >> parent >> numbers >> root >> point))
            continue;
        const auto colon = numbers.find(':');
        if (colon == std::string::npos)
            continue;
        unsigned major = 0, minor = 0;
        try {
            major = static_cast<unsigned>(std::stoul(numbers.substr(0, colon)));
            minor = static_cast<unsigned>(std::stoul(numbers.substr(colon + 1)));
        } catch (const std::exception&) {
            continue;
        }
        if (!ours(disk, makedev(major, minor)))
            continue;
        if (point == "/")
            return "it holds the root file system";
        if (point == "/boot" || point.rfind("/boot/", 0) == 0)
            return "it holds the boot file system (" + point + ")";
        if (mountedAt.empty())
            mountedAt = (makedev(major, minor) == disk.block.id ? "it is mounted at " : "a partition is mounted at ") + point;
    }
    return mountedAt;
}

// swaps: one header line, then the swap area's path first on each line.
std::string swapRefusal(const HostDisk& disk)
{
    if (std::string why = usedEntryProblem(procRoot() / "swaps", procRootMoved()); !why.empty())
        return "the swap list cannot be trusted: " + why;
    std::ifstream in(procRoot() / "swaps");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string path;
        if (!(fields >> path))
            continue;
        struct stat st {};
        const bool sameDevice = ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && ours(disk, st.st_rdev);
        if (sameDevice || oursByName(disk, fs::path(path).filename().string()))
            return "it holds swap space (" + path + ")";
    }
    return {};
}

// The first holder's name; a holders folder of a test tree that cannot be
// trusted says so instead.
std::string holderOf(const fs::path& dir, std::string& untrusted)
{
    std::error_code ec;
    if (untrusted.empty() && fs::exists(dir / "holders", ec))
        untrusted = usedEntryProblem(dir / "holders", sysfsRootMoved());
    for (const auto& entry : fs::directory_iterator(dir / "holders", ec))
        return entry.path().filename().string();
    return {};
}

std::string holderRefusal(const HostDisk& disk)
{
    std::string untrusted;
    std::string holder = holderOf(disk.folder, untrusted);
    for (const auto& p : disk.partitions)
        if (holder.empty())
            holder = holderOf(disk.folder / p.name, untrusted);
    if (!untrusted.empty())
        return "its holders cannot be trusted: " + untrusted;
    return holder.empty() ? std::string() : "it is held by " + holder + " (md, dm, LVM or loop)";
}

// A loop device never shows in holders/: each one's backing file is looked
// at, by its device numbers, or by its name where it is a node in /dev.
std::string loopRefusal(const HostDisk& disk)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysfsRoot() / "block", ec)) {
        const std::string loop = entry.path().filename().string();
        if (loop.rfind("loop", 0) != 0)
            continue;
        const fs::path file = entry.path() / "loop" / "backing_file";
        if (!fs::exists(file, ec))
            continue;
        if (std::string why = usedEntryProblem(file, sysfsRootMoved()); !why.empty())
            return "loop device " + loop + " cannot be trusted: " + why;
        std::ifstream in(file);
        std::string backing;
        if (!std::getline(in, backing) || backing.empty())
            continue;
        constexpr std::string_view kDeleted = " (deleted)";
        if (backing.size() > kDeleted.size() && backing.ends_with(kDeleted))
            backing.resize(backing.size() - kDeleted.size());
        const fs::path path(backing);
        struct stat st {};
        const bool sameDevice = ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && ours(disk, st.st_rdev);
        const bool nodeOfOurs = (path.parent_path() == "/dev" || path.parent_path() == devRoot()) &&
                                oursByName(disk, path.filename().string());
        if (sameDevice || nodeOfOurs)
            return "it is used by loop device " + loop + " (over " + backing + ")";
    }
    return {};
}

}  // namespace

// What the host does with the device or its partitions: mounted, swap,
// held, under a loop device.
std::string useRefusal(const HostDisk& disk)
{
    for (const auto& check : {mountRefusal, swapRefusal, holderRefusal, loopRefusal})
        if (std::string why = check(disk); !why.empty())
            return why;
    return {};
}

std::string refusalOf(const HostDisk& disk)
{
    if (std::string why = hostRootsProblem(); !why.empty())
        return why;
    if (!disk.untrusted.empty())
        return "the host tree cannot be trusted for it: " + disk.untrusted;
    if (!disk.unreadable.empty())
        return "sysfs cannot be trusted for it: " + disk.unreadable;
    if (!disk.usb)
        return "it is not on USB";
    if (disk.size == 0)
        return "it has no medium";
    return useRefusal(disk);
}

std::string blockDeviceRefusal(dev_t id)
{
    if (std::string why = hostRootsProblem(); !why.empty())
        return why;
    HostDisk device;
    if (!scanBlockDevice(id, device))
        return "sysfs has no block device " + std::to_string(major(id)) + ":" + std::to_string(minor(id)) +
               ", so its use cannot be checked";
    if (!device.untrusted.empty())
        return "the host tree cannot be trusted for it: " + device.untrusted;
    if (!device.unreadable.empty())
        return "sysfs cannot be trusted for it: " + device.unreadable;
    return useRefusal(device);
}

}  // namespace host
