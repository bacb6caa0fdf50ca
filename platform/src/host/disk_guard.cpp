#include "host/disk_guard.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "host/host_roots.h"

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
    std::ifstream in(procRoot() / "self" / "mountinfo");
    if (!in)
        return "the mount table " + (procRoot() / "self" / "mountinfo").string() + " cannot be read";
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
            mountedAt = point;
    }
    return mountedAt.empty() ? std::string() : "a partition is mounted at " + mountedAt;
}

// swaps: one header line, then the swap area's path first on each line.
std::string swapRefusal(const HostDisk& disk)
{
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

std::string holderOf(const fs::path& dir)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir / "holders", ec))
        return entry.path().filename().string();
    return {};
}

std::string holderRefusal(const HostDisk& disk)
{
    const fs::path block = sysfsRoot() / "block" / disk.block.name;
    std::string holder = holderOf(block);
    for (const auto& p : disk.partitions)
        if (holder.empty())
            holder = holderOf(block / p.name);
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
        std::ifstream in(entry.path() / "loop" / "backing_file");
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

std::string refusalOf(const HostDisk& disk)
{
    if (!disk.unreadable.empty())
        return "sysfs cannot be trusted for it: " + disk.unreadable;
    if (!disk.usb)
        return "it is not on USB";
    if (disk.size == 0)
        return "it has no medium";
    for (const auto& check : {mountRefusal, swapRefusal, holderRefusal, loopRefusal})
        if (std::string why = check(disk); !why.empty())
            return why;
    return {};
}

}  // namespace host
