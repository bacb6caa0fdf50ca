// The emulated Windows machine: its hardware, settings and kernel state, kept
// in a directory shared by every process that uses it. The control side
// (tools and tests) uses this header; the product calls win_api.h only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/dos_names.h"

namespace machine {

namespace fs = std::filesystem;

// A bad request to the machine (unknown disk, bad setting, unreadable state).
struct MachineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OsVersion {
    std::uint32_t platform = 2;  // VER_PLATFORM_WIN32_NT
    std::uint32_t major = 6;
    std::uint32_t minor = 1;
    std::uint32_t build = 7601;
    std::uint8_t productType = 1;  // workstation
    std::string csd = "Service Pack 1";
    bool fails = false;            // GetVersionExA fails
};

// What fmifs.dll's FormatEx does on this machine.
enum class FormatService {
    Ok,         // formats for real
    Absent,     // fmifs.dll does not load
    Fails,      // reports done with failure at once
    FailsAt99,  // reports up to 99 percent, then done with failure
};

// What CryptoAPI does on this machine.
enum class CryptoApi {
    Ok,        // random bytes from the operating system
    NoKeyset,  // the default key set must first be made (CRYPT_NEWKEYSET)
    Absent,    // no provider can be acquired
    Fails,     // CryptGenRandom fails
};

struct Settings {
    double timeScale = 1.0;  // Sleep(ms) lasts ms * timeScale
    OsVersion os;
    bool wow64 = false;
    std::uint16_t langId = 0x0409;
    std::uint32_t acp = 0;    // 0: derived from langId
    std::uint32_t oemcp = 0;  // 0: derived from langId
    bool admin = true;
    bool uac = true;
    FormatService formatService = FormatService::Ok;
    CryptoApi cryptoApi = CryptoApi::Ok;
    // A disk-encryption driver of another product, answering this interface
    // version, holds the encryption device; 0: none. Our driver cannot start
    // beside it, and stopping ours leaves it running.
    std::uint32_t cryptDriverVersion = 0;
    // Dismounts of this letter answer "busy" this many more times, forced
    // or not (each answer counts down).
    char cryptBusyLetter = 0;
    std::uint32_t cryptBusyCount = 0;
    // The USB disk slots follow the host's USB mass-storage disks (sysfs) at
    // every enumeration; the system disk 0 stays the machine's own.
    bool hostDisks = false;
};

// Per-disk faults, so every error path of the product can be reached.
struct DiskFaults {
    std::optional<std::uint64_t> failReadAt;    // a read covering this sector fails
    std::optional<std::uint64_t> failWriteAt;   // a write covering this sector fails
    std::optional<std::uint64_t> shortWriteAt;  // a write covering this sector stops before it
    std::optional<std::uint64_t> vanishAt;      // a write covering this sector unplugs the disk
    // Writes covering the sector of one of the three write faults above that
    // pass unharmed before it strikes (each counts this down), so a fault can
    // hit the second or third write of the same sector.
    std::uint32_t skipWrites = 0;
    bool refuseExclusive = false;               // opens without sharing fail
    bool refuseDeviceNumber = false;            // IOCTL_STORAGE_GET_DEVICE_NUMBER is not answered
    // Not a fault: every write's first sector and length are appended to
    // disk<slot>-writes.log in the machine, so tests can list the writes.
    bool writeLog = false;
};

// A partition as the kernel published it after reading the disk's table.
struct PublishedPartition {
    int number = 0;                // \Device\HarddiskN\Partition<number>
    std::uint64_t offset = 0;      // bytes
    std::uint64_t length = 0;      // bytes
    std::uint32_t hiddenSectors = 0;
    std::uint8_t type = 0;
    bool boot = false;
    int volume = 0;                // \Device\HarddiskVolume<volume>
    char letter = 0;               // 'D'..'Z', 0 when none
    std::int64_t visibleAtMs = 0;  // wall clock; unpublished before
    std::int64_t letterAtMs = 0;   // wall clock; no letter before
};

struct Disk {
    int slot = 0;          // stable index in the machine
    int number = -1;       // Windows disk number while present, -1 when absent
    std::uint64_t size = 0;
    std::string backing;   // image file (relative to the machine) or a block device
    bool blockDevice = false;
    std::uint64_t blockDeviceId = 0;  // st_rdev of the block device add-disk recorded
    std::string vendor, product, revision, serial;
    std::string friendlyName;  // empty: as Windows would name it
    bool usb = false;
    std::uint16_t vid = 0, pid = 0;
    bool removable = false;
    bool system = false;   // holds C:
    bool present = true;
    bool readOnly = false;      // opens asking for write access are refused
    bool writeProtect = false;  // writes fail with ERROR_WRITE_PROTECT
    std::uint32_t publishDelayMs = 0;  // after a table re-read, partitions appear late
    std::uint32_t letterDelayMs = 0;   // and their letters later still
    // What a restart of the USB device does.
    bool restartReturns = true;
    bool restartNewInstance = false;
    bool restartNewNumber = false;
    int instanceGeneration = 0;  // bumped by a restart under a new instance id
    std::uint64_t arrival = 0;   // bumped on every arrival; stale handles fail
    DiskFaults faults;
    std::vector<PublishedPartition> partitions;
    // The disk drive's device node. A disabled node stays listed, but its
    // disk is not present until the node is enabled again.
    bool disabled = false;
    std::uint32_t nodeRebootOn = 0;        // NodeChange bits that ask for a reboot
    std::uint32_t nodeFailOn = 0;          // NodeChange bits the class installer refuses
    std::vector<std::string> nodeChanges;  // "disable", "enable", "propchange", oldest first
    // A disk of the host followed through sysfs (hostDisks on): backing is
    // its /dev node. hostPort is the USB device's sysfs folder name ("1-1"),
    // which keeps the slot when the serial cannot. A refused disk is never
    // present; hostRefusal says why ("a partition is mounted at /media").
    bool host = false;
    std::string hostPort;
    std::string hostRefusal;
};

// State changes of a disk drive's node made through its class installer.
enum NodeChange : std::uint32_t {
    NodeDisable = 1,
    NodeEnable = 2,
    NodePropChange = 4,
};

// A service of the service control manager.
struct Service {
    std::string name;  // as created; looked up without regard to case
    std::string displayName;
    std::uint32_t type = 0;  // SERVICE_KERNEL_DRIVER, ...
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::string imagePath;
    bool running = false;
    bool markedForDelete = false;  // goes once stopped and no handle is open
};

// A volume the encryption driver mounted: a decrypting view of a partition
// under a drive letter. It outlives the process that mounted it, as the
// driver does, so what the view needs lives here: the stand-in for the
// driver's memory. The password is never kept.
struct CryptVolume {
    char letter = 0;
    std::string volumePath;  // as the mount request named it
    int slot = -1;           // the partition under it
    int partition = 0;
    std::uint64_t diskArrival = 0;   // the view goes when the disk leaves
    std::uint64_t mountStamp = 0;    // tells a remount from the old handles' volume
    std::uint64_t partitionOffset = 0;  // bytes on the disk
    std::uint64_t dataOffset = 0;    // from the partition's start (after the header)
    std::uint64_t dataLength = 0;
    int algorithm = 0;               // the header's algorithm and mode ids
    int mode = 0;
    std::string keyArea;             // the header's key area, hex
    bool readOnly = false;
    bool removable = false;
};

// A drive change told to the shell (SHChangeNotify) or broadcast to the
// top-level windows (SendMessageTimeoutA with WM_DEVICECHANGE).
struct Announcement {
    std::string kind;            // "shell" or "broadcast"
    std::uint32_t event = 0;     // SHCNE_... or DBT_...
    std::string path;            // shell: the item, a path
    std::uint32_t unitMask = 0;  // broadcast: the volume record's drives, bit 0 for A:
    std::uint32_t timeoutMs = 0;  // broadcast
    bool operator==(const Announcement&) const = default;
};

struct State {
    Settings settings;
    std::vector<Disk> disks;
    nlohmann::json registry = nlohmann::json::object();
    DosNames dosDevices;
    std::map<std::string, char> mountedDevices;  // "disk signature:offset" -> remembered letter
    int nextVolume = 1;
    std::uint64_t arrivalCounter = 0;
    std::uint64_t deviceChanges = 0;  // device nodes changed
    std::vector<Service> services;    // in the order they were created
    std::vector<CryptVolume> cryptVolumes;
    std::vector<Announcement> announcements;  // the latest, oldest first
    std::uint64_t announcementCount = 0;      // all there ever were
};

// Options of a new disk.
struct DiskOptions {
    std::uint64_t size = 8ull << 30;
    std::string vendor = "ORVANE";
    std::string product = "Appliance Disk";
    std::string revision = "1.00";
    std::string serial;   // empty: made up from the slot
    std::string friendlyName;
    bool usb = true;
    std::uint16_t vid = 0x1209, pid = 0x4F43;
    bool removable = false;
    std::string backing;  // empty: a sparse image file in the machine
    bool blockDevice = false;
};

struct PinnedFolder;

class Machine {
public:
    // Opens an existing machine; throws MachineError when dir holds none.
    static std::shared_ptr<Machine> open(const fs::path& dir);
    // Creates a machine with its system disk 0 and one blank appliance disk 1,
    // or, following the host's disks, with disk 0 alone.
    static std::shared_ptr<Machine> create(const fs::path& dir, bool hostDisks = false);

    // The checked folder as /proc/self/fd/N of the descriptor the machine
    // holds: every path from it reaches that very folder, never one a link
    // was switched to since, in this process and in the children it starts.
    const fs::path& dir() const { return dir_; }
    // The folder as it was named, for what people read.
    const fs::path& shownDir() const { return shown_; }
    // The held folder (O_PATH), for opening what lies beneath it.
    int folderFd() const;
    fs::path driveC() const { return dir_ / "drive_c"; }

    // A consistent view of the state; cheap when nothing changed.
    std::shared_ptr<const State> read() const;
    // The state without the DOS names, for the many calls that never look
    // at them: read() copies the whole state whenever a name changed, and a
    // device search changes names between nearly all its calls. Its
    // dosDevices is empty once the names live in their journal.
    std::shared_ptr<const State> readWithoutNames() const;
    // The DOS names alone, as read() would give them.
    std::shared_ptr<const DosNames> readDosNames() const;
    // Read-modify-write under the machine lock, across processes.
    void update(const std::function<void(State&)>& change);
    // The same for the DOS names alone, which change far more often than the
    // rest; gives back what change returned.
    bool updateDosNames(const std::function<bool(DosNameChanges&)>& change);

    fs::path backingPath(const Disk& disk) const;

private:
    Machine(std::shared_ptr<const PinnedFolder> folder, fs::path shown);
    std::shared_ptr<const State> readFile() const;  // machine.json alone
    std::shared_ptr<const PinnedFolder> folder_;
    fs::path shown_;
    fs::path dir_;
    struct Cache;
    std::shared_ptr<Cache> cache_;
};

// The machine the win:: functions act on: the one chosen by select(), else
// KX_MACHINE, else the default machine (created on first use).
// Why the machine may not use a disk's backing ("backing PATH lies outside
// the machine folder"), or empty when it may: an image file inside the
// machine folder, or the block device recorded for the disk, at least as
// large as the disk.
std::string backingProblem(const Machine& m, const Disk& disk);
// The backing opened with flags (O_RDONLY or O_RDWR), only when it may be
// used; -1 otherwise.
int openBacking(const Machine& m, const Disk& disk, int flags);

// Whether a machine folder may be used: programs the machine runs and files
// it writes follow from it, and it may be driven as root, so nobody but its
// user (or root) may be able to change it or any folder above it. Empty when
// user may use it; else why not, naming the folder at fault ("/srv/m is
// writable by others (mode 0777)"). The folder itself must be a directory
// owned by user or root that nobody else may write; every folder above it
// must be owned by user or root and writable by nobody else, unless root
// owns it with the sticky bit set (as /tmp). A folder that does not exist
// yet is judged by the folders above it. Every part of dir is judged as
// given: a symbolic link on the way must be user's or root's, and the
// folders it leads to are judged as any other. Machine::open and
// Machine::create refuse a folder with a problem, and one whose inner
// folders (locks, keys, drive_c's system and templates folders) others may
// change or that are links.
std::string folderTrustProblem(const fs::path& dir, uid_t user);

std::shared_ptr<Machine> current();
void select(const fs::path& dir);

// With hostDisks on, brings the machine's host disk slots in line with the
// host's USB disks now: new ones get a slot, known ones keep theirs, gone or
// refused ones are not present, and emulated USB disks are unplugged. With
// it off, host disks are unplugged.
void followHostDisks(Machine& m);
fs::path defaultDir();

// Control operations (orvane-machine, cmddev, tests).
int addDisk(Machine& m, const DiskOptions& options);
void plug(Machine& m, int slot);
void unplug(Machine& m, int slot);
// USB devices whose hardware id (USB\VID_xxxx&PID_yyyy) matches leave, and
// for restart come back as their settings say. Returns the number matched.
int removeUsb(Machine& m, const std::string& hardwareId);
int restartUsb(Machine& m, const std::string& hardwareId);
void setSetting(Machine& m, const std::string& key, const std::string& value);
void setDiskSetting(Machine& m, int slot, const std::string& key, const std::string& value);
std::string describe(const Machine& m, const State& state);
// The format_service setting's words: ok, absent, fails, fails_at_99.
std::optional<FormatService> formatServiceNamed(const std::string& name);
std::string formatServiceName(FormatService service);
// The cryptoapi setting's words: ok, no_keyset, absent, fails.
std::optional<CryptoApi> cryptoApiNamed(const std::string& name);
std::string cryptoApiName(CryptoApi api);

// Kernel behaviour shared by the win:: functions and the control operations.
const Disk* diskByNumber(const State& state, int number);
Disk& diskBySlot(State& state, int slot);
// The disk leaves: no number, no partitions, a device change.
void detachDisk(State& state, Disk& disk);
// Re-reads the disk's partition table and publishes its partitions and letters.
void rescanPartitions(const Machine& m, State& state, Disk& disk);
// The disk arrives: a number, its partitions published, a device change.
void arriveDisk(const Machine& m, State& state, Disk& disk);
// The strings of the disk drive node's upper filter list, up to the first
// empty one.
std::vector<std::string> upperFiltersOf(const State& state, const Disk& disk);
Service* serviceNamed(State& state, const std::string& name);
const Service* serviceNamed(const State& state, const std::string& name);
// NodeChange bits from "none", "all" or a comma list of disable, enable and
// propchange, and back.
std::optional<std::uint32_t> nodeChangesNamed(const std::string& words);
std::string nodeChangesName(std::uint32_t bits);
std::string friendlyNameOf(const Disk& disk);
std::string diskInstanceId(const Disk& disk);
std::string usbInstanceId(const Disk& disk);
std::int64_t wallClockMs();
const CryptVolume* cryptVolumeOn(const State& state, char letter);

// Files in the file system (NTFS) of a mounted encrypted volume, for tests
// and orvane-machine: worked on in a decrypted scratch copy of the volume,
// whose changed units go back encrypted.
void putVolumeFile(Machine& m, char letter, const fs::path& hostFile, const std::string& name);
void getVolumeFile(Machine& m, char letter, const std::string& name, const fs::path& hostFile);

}  // namespace machine
