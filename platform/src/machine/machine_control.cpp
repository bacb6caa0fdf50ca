// Hardware changes: creating a machine, adding, plugging and unplugging
// disks, and what a USB device restart does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

#include "host/usb_reset.h"
#include "platform/host_checks.h"
#include "machine/folder_trust.h"
#include "platform/machine.h"
#include "processes/system_programs.h"
#include "registry/registry_tree.h"
#include "setupapi/device_nodes.h"
#include "text/text_util.h"

namespace machine {

namespace {

constexpr std::uint64_t kSystemDiskSize = 64ull << 30;

void createSparseImage(const fs::path& path, std::uint64_t size)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw MachineError("cannot create disk image " + path.string() + ": " + std::strerror(errno));
    const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    if (!ok)
        throw MachineError("cannot size disk image " + path.string());
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The system disk holds one active NTFS partition from sector 2048, as a
// Windows installation leaves it; its files live in drive_c/.
void writeSystemMbr(const fs::path& path, std::uint64_t size)
{
    std::uint8_t mbr[512] = {};
    put32(mbr + 440, 0x5EED0C0D);
    std::uint8_t* e = mbr + 446;
    e[0] = 0x80;
    e[4] = 0x07;
    put32(e + 8, 2048);
    put32(e + 12, static_cast<std::uint32_t>(std::min<std::uint64_t>(size / 512 - 2048, 0xFFFFFFFF)));
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    const bool ok = fd >= 0 && ::pwrite(fd, mbr, sizeof mbr, 0) == static_cast<ssize_t>(sizeof mbr);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw MachineError("cannot write the system disk's table");
}

int lowestFreeNumber(const State& state)
{
    std::set<int> used;
    for (const auto& d : state.disks)
        if (d.present)
            used.insert(d.number);
    int n = 0;
    while (used.count(n))
        ++n;
    return n;
}

int highestNumberEver(const State& state)
{
    int n = -1;
    for (const auto& d : state.disks)
        n = std::max({n, d.number, d.slot});
    return n + 1;
}

std::string parentIdPrefix(const Disk& disk)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "7&%x&%d", 0x2a000000u + static_cast<unsigned>(disk.slot) * 0x1357u,
                  disk.instanceGeneration);
    return prefix;
}

// The Enum keys that Windows writes for a USB disk on arrival; the registry's
// removable test on old systems reads them.
void registerUsbDisk(State& state, const Disk& disk)
{
    const std::string prefix = parentIdPrefix(disk);
    auto* key = reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + diskInstanceId(disk), true);
    reg::setValue(*key, "FriendlyName", reg::stringValue(friendlyNameOf(disk)));
    reg::setValue(*key, "ParentIdPrefix", reg::stringValue(prefix));
    auto* usb = reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + usbInstanceId(disk), true);
    reg::setValue(*usb, "Service", reg::stringValue("USBSTOR"));
    if (disk.removable)
        reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\" + prefix + "&RM",
                     true);
}

// previous: the number the disk had before a restart, which a new number
// must not repeat.
void arrive(const Machine& m, State& state, Disk& disk, bool newNumber, int previous = -1)
{
    disk.present = true;
    disk.number = newNumber ? std::max(highestNumberEver(state), previous + 1) : lowestFreeNumber(state);
    disk.arrival = ++state.arrivalCounter;
    if (disk.usb)
        registerUsbDisk(state, disk);
    rescanPartitions(m, state, disk);
    ++state.deviceChanges;
}

std::string defaultSerial(int slot)
{
    char serial[24];
    std::snprintf(serial, sizeof serial, "ORV%011d", slot);
    return serial;
}

void seedRegistry(State& state)
{
    auto* options = reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions", true);
    reg::setValue(*options, "ProductType", reg::stringValue("WinNT"));
    reg::findKey(state.registry, "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia", true);
    reg::findKey(state.registry, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", true);
    reg::findKey(state.registry, "HKCU\\Software", true);
}

// Paths in a message as people know them: the held folder's name means
// nothing outside this process.
std::string shownPaths(const Machine& m, std::string text)
{
    const std::string held = m.dir().string() + "/";
    const std::string shown = m.shownDir().string() + "/";
    for (auto at = text.find(held); at != std::string::npos; at = text.find(held, at + shown.size()))
        text.replace(at, held.size(), shown);
    return text;
}

// Every folder the machine starts with, 0700 whatever the umask.
void makeFirstFolders(const PinnedFolder& folder)
{
    for (const char* dir : {"locks", "drive_c/Windows/system32/drivers", "drive_c/Windows/SysWOW64/drivers",
                            "drive_c/ProgramData/Microsoft/Windows/Templates",
                            "drive_c/Documents and Settings/All Users/Templates",
                            "drive_c/Users/Operator/AppData/Roaming"})
        makeFoldersBeneath(folder.fd, dir);
    writeSystemPrograms(folder.path / "drive_c");
}

}  // namespace

std::shared_ptr<Machine> Machine::create(const fs::path& dir, bool hostDisks)
{
    const fs::path abs = fs::absolute(dir);
    auto folder = pinFolder(abs, true);
    struct stat st {};
    if (::fstatat(folder->fd, "machine.json", &st, AT_SYMLINK_NOFOLLOW) == 0)
        throw MachineError("a machine already exists in " + abs.string());
    checkInnerFolders(*folder, abs);
    makeFirstFolders(*folder);
    auto m = std::shared_ptr<Machine>(new Machine(folder, abs));
    createSparseImage(m->dir() / "disk0.img", kSystemDiskSize);
    writeSystemMbr(m->dir() / "disk0.img", kSystemDiskSize);
    m->update([&](State& state) {
        state = State{};
        seedRegistry(state);
        Disk sys;
        sys.slot = 0;
        sys.size = kSystemDiskSize;
        sys.backing = "disk0.img";
        sys.vendor = "ATA";
        sys.product = "SATA SSD 64GB";
        sys.revision = "1.0";
        sys.serial = defaultSerial(0);
        sys.system = true;
        state.disks.push_back(sys);
        arrive(*m, state, state.disks.back(), false);
        state.settings.hostDisks = hostDisks;
    });
    if (hostDisks)
        followHostDisks(*m);
    else
        addDisk(*m, DiskOptions{});
    return m;
}

void detachDisk(State& state, Disk& disk)
{
    disk.present = false;
    disk.number = -1;
    disk.partitions.clear();
    ++state.deviceChanges;
}

int addDisk(Machine& m, const DiskOptions& options)
{
    if (options.size == 0 || options.size % 512 != 0)
        throw MachineError("disk size must be a non-zero multiple of 512 bytes");
    if (options.vendor.size() > 8 || options.product.size() > 16 || options.revision.size() > 4)
        throw MachineError("vendor, product and revision are at most 8, 16 and 4 characters (SCSI INQUIRY fields)");
    int slot = static_cast<int>(m.read()->disks.size());
    std::string backing = options.backing;
    if (backing.empty()) {
        backing = "disk" + std::to_string(slot) + ".img";
        createSparseImage(m.dir() / backing, options.size);
    } else if (!fs::exists(backing)) {
        throw MachineError("backing " + backing + " does not exist");
    }
    // A block device is known again by its device number, never by its name alone.
    std::uint64_t deviceId = 0;
    if (struct stat st {}; options.blockDevice && ::stat(backing.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        deviceId = st.st_rdev;
    m.update([&](State& state) {
        slot = static_cast<int>(state.disks.size());
        Disk d;
        d.slot = slot;
        d.size = options.size;
        d.backing = backing;
        d.blockDevice = options.blockDevice;
        d.blockDeviceId = deviceId;
        d.vendor = options.vendor;
        d.product = options.product;
        d.revision = options.revision;
        d.serial = options.serial.empty() ? defaultSerial(slot) : options.serial;
        d.friendlyName = options.friendlyName;
        d.usb = options.usb;
        d.vid = options.vid;
        d.pid = options.pid;
        d.removable = options.removable;
        state.disks.push_back(d);
        arrive(m, state, state.disks.back(), false);
    });
    return slot;
}

void arriveDisk(const Machine& m, State& state, Disk& disk) { arrive(m, state, disk, false); }

void plug(Machine& m, int slot)
{
    m.update([&](State& state) {
        Disk& d = diskBySlot(state, slot);
        if (d.present || d.disabled)
            throw MachineError("disk " + std::to_string(slot) + " is already plugged in");
        if (const std::string problem = backingProblem(m, d); !problem.empty())
            throw MachineError("disk " + std::to_string(slot) + " cannot be plugged in: " + shownPaths(m, problem));
        arrive(m, state, d, false);
    });
}

void unplug(Machine& m, int slot)
{
    m.update([&](State& state) {
        Disk& d = diskBySlot(state, slot);
        if (d.system)
            throw MachineError("disk " + std::to_string(slot) + " is the system disk");
        if (!d.present && !d.disabled)
            throw MachineError("disk " + std::to_string(slot) + " is not plugged in");
        // A disabled node leaves with its device and starts enabled when plugged in again.
        if (d.present)
            detachDisk(state, d);
        else
            ++state.deviceChanges;
        d.disabled = false;
    });
}

namespace {

bool matchesHardwareId(const Disk& disk, const std::string& hardwareId)
{
    if (!disk.usb || !disk.present)
        return false;
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", disk.vid, disk.pid);
    return equalsNoCase(id, hardwareId);
}

// What a real USB disk may take to be found again after its reset: the
// device console tool waits at most this long for it, as the library waits
// for the tool.
constexpr std::chrono::milliseconds kHostDiskReturn{15000};

// A host disk's USB device is taken off the bus for real; the disk leaves
// now and, on a restart, the reset ends once the host has found it again
// (the next enumeration gives it back its slot).
int resetHostUsb(Machine& m, const std::string& hardwareId, bool comeBack)
{
    std::vector<std::pair<int, std::string>> ports;
    for (const auto& d : m.read()->disks)
        if (d.host && matchesHardwareId(d, hardwareId) && !d.hostPort.empty())
            ports.emplace_back(d.slot, d.hostPort);
    for (const auto& [slot, port] : ports) {
        if (std::string why = host::resetUsbDevice(port, comeBack); !why.empty())
            throw MachineError("disk " + std::to_string(slot) + " could not be reset: " + why);
        m.update([slot = slot](State& state) {
            if (Disk& d = diskBySlot(state, slot); d.present)
                detachDisk(state, d);
        });
    }
    for (const auto& [slot, port] : ports)
        if (comeBack && !host::waitForUsbDisk(port, true, kHostDiskReturn))
            std::cerr << "machine: disk " << slot << " was not back on USB port " << port << " after "
                      << kHostDiskReturn.count() / 1000 << " s\n";
    return static_cast<int>(ports.size());
}

int forEachUsb(Machine& m, const std::string& hardwareId, bool comeBack)
{
    int matched = resetHostUsb(m, hardwareId, comeBack);
    m.update([&](State& state) {
        for (auto& d : state.disks) {
            if (d.host || !matchesHardwareId(d, hardwareId))
                continue;
            ++matched;
            const int previous = d.number;
            detachDisk(state, d);
            if (!comeBack || !d.restartReturns)
                continue;
            if (d.restartNewInstance)
                ++d.instanceGeneration;
            arrive(m, state, d, d.restartNewNumber, previous);
        }
    });
    return matched;
}

}  // namespace

int removeUsb(Machine& m, const std::string& hardwareId) { return forEachUsb(m, hardwareId, false); }
int restartUsb(Machine& m, const std::string& hardwareId) { return forEachUsb(m, hardwareId, true); }

namespace {

// The fault settings in force, as `set --disk` takes them; empty when none.
std::string faultsOf(const DiskFaults& f)
{
    std::string text;
    const std::pair<const char*, const std::optional<std::uint64_t>*> sectors[] = {
        {"fail_read_at", &f.failReadAt}, {"fail_write_at", &f.failWriteAt},
        {"short_write_at", &f.shortWriteAt}, {"vanish_at", &f.vanishAt}};
    for (const auto& [name, sector] : sectors)
        if (*sector)
            text += std::string(" ") + name + "=" + std::to_string(**sector);
    if (f.skipWrites)
        text += " fault_skip_writes=" + std::to_string(f.skipWrites);
    if (f.refuseExclusive)
        text += " refuse_exclusive=true";
    if (f.refuseDeviceNumber)
        text += " refuse_device_number=true";
    return text;
}

}  // namespace

std::string describe(const Machine& m, const State& state)
{
    std::string out;
    char line[512];
    std::snprintf(line, sizeof line, "OS %u.%u build %u (platform %u, product type %u)%s, lang 0x%04X, time scale %g\n",
                  state.settings.os.major, state.settings.os.minor, state.settings.os.build, state.settings.os.platform,
                  state.settings.os.productType, state.settings.wow64 ? ", WOW64" : "", state.settings.langId,
                  state.settings.timeScale);
    out += line;
    if (state.settings.hostDisks)
        if (const std::string why = hostDisksProblem(); !why.empty())
            out += "host disks are not followed: " + why + "\n";
    for (const auto& d : state.disks) {
        std::snprintf(line, sizeof line, "disk %d: %s, %.2f GiB, %s%s%s\n    \"%s\"  %s\n", d.slot,
                      d.present    ? ("PhysicalDrive" + std::to_string(d.number)).c_str()
                      : d.disabled ? "disabled"
                                   : "unplugged",
                      static_cast<double>(d.size) / (1ull << 30), d.system ? "system" : d.usb ? "USB" : "fixed",
                      d.removable ? ", removable" : "", d.readOnly ? ", read-only" : "", friendlyNameOf(d).c_str(),
                      diskInstanceId(d).c_str());
        out += line;
        if (d.host)
            out += "    host disk " + d.backing + (d.hostRefusal.empty() ? "" : " refused: " + d.hostRefusal) + "\n";
        const bool refused = d.host && !d.hostRefusal.empty();  // already said why
        if (const std::string problem = refused ? std::string() : backingProblem(m, d); !problem.empty())
            out += "    not usable: " + shownPaths(m, problem) + "\n";
        if (const std::string faults = faultsOf(d.faults); !faults.empty())
            out += "    faults:" + faults + "\n";
        for (const auto& p : d.partitions) {
            std::snprintf(line, sizeof line,
                          "    \\Device\\Harddisk%d\\Partition%d  type 0x%02X  start %llu  sectors %llu  %s\n",
                          d.number, p.number, p.type, static_cast<unsigned long long>(p.offset / 512),
                          static_cast<unsigned long long>(p.length / 512),
                          p.letter ? (std::string(1, p.letter) + ":").c_str() : "-");
            out += line;
        }
        out += describeNode(state, d);
    }
    out += describeServices(state);
    if (state.settings.cryptDriverVersion != 0) {
        std::snprintf(line, sizeof line, "another product's encryption driver runs (version %u)\n",
                      state.settings.cryptDriverVersion);
        out += line;
    }
    for (const auto& v : state.cryptVolumes) {
        std::snprintf(line, sizeof line, "encrypted volume %c: on %s, algorithm %d mode %d, %llu bytes%s\n", v.letter,
                      v.volumePath.c_str(), v.algorithm, v.mode, static_cast<unsigned long long>(v.dataLength),
                      v.readOnly ? ", read-only" : "");
        out += line;
    }
    if (!state.announcements.empty()) {
        const auto& a = state.announcements.back();
        if (a.kind == "shell")
            std::snprintf(line, sizeof line, "drive changes announced: %llu, the latest to the shell: 0x%X %s\n",
                          static_cast<unsigned long long>(state.announcementCount), a.event, a.path.c_str());
        else
            std::snprintf(line, sizeof line, "drive changes announced: %llu, the latest to all windows: 0x%X, drives 0x%X\n",
                          static_cast<unsigned long long>(state.announcementCount), a.event, a.unitMask);
        out += line;
    }
    return out;
}

}  // namespace machine
