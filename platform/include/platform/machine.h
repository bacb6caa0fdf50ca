// The emulated Windows machine: its hardware, settings and kernel state, kept
// in a directory shared by every process that uses it. The control side
// (tools and tests) uses this header; the product calls win_api.h only.
#pragma once

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
};

// Per-disk faults, so every error path of the product can be reached.
struct DiskFaults {
    std::optional<std::uint64_t> failReadAt;    // a read covering this sector fails
    std::optional<std::uint64_t> failWriteAt;   // a write covering this sector fails
    std::optional<std::uint64_t> shortWriteAt;  // a write covering this sector stops before it
    std::optional<std::uint64_t> vanishAt;      // a write covering this sector unplugs the disk
    bool refuseExclusive = false;               // opens without sharing fail
    bool refuseDeviceNumber = false;            // IOCTL_STORAGE_GET_DEVICE_NUMBER is not answered
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
};

struct State {
    Settings settings;
    std::vector<Disk> disks;
    nlohmann::json registry = nlohmann::json::object();
    std::map<std::string, std::vector<std::string>> dosDevices;  // name -> targets, newest first
    std::map<std::string, char> mountedDevices;  // "disk signature:offset" -> remembered letter
    int nextVolume = 1;
    std::uint64_t arrivalCounter = 0;
    std::uint64_t deviceChanges = 0;  // device nodes changed
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

class Machine {
public:
    // Opens an existing machine; throws MachineError when dir holds none.
    static std::shared_ptr<Machine> open(const fs::path& dir);
    // Creates a machine with its system disk 0 and one blank appliance disk 1.
    static std::shared_ptr<Machine> create(const fs::path& dir);

    const fs::path& dir() const { return dir_; }
    fs::path driveC() const { return dir_ / "drive_c"; }

    // A consistent view of the state; cheap when nothing changed.
    std::shared_ptr<const State> read() const;
    // Read-modify-write under the machine lock, across processes.
    void update(const std::function<void(State&)>& change);

    fs::path backingPath(const Disk& disk) const;

private:
    explicit Machine(fs::path dir);
    fs::path dir_;
    struct Cache;
    std::shared_ptr<Cache> cache_;
};

// The machine the win:: functions act on: the one chosen by select(), else
// KX_MACHINE, else the default machine (created on first use).
std::shared_ptr<Machine> current();
void select(const fs::path& dir);
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
std::string describe(const State& state);
// The format_service setting's words: ok, absent, fails, fails_at_99.
std::optional<FormatService> formatServiceNamed(const std::string& name);
std::string formatServiceName(FormatService service);

// Kernel behaviour shared by the win:: functions and the control operations.
const Disk* diskByNumber(const State& state, int number);
Disk& diskBySlot(State& state, int slot);
// The disk leaves: no number, no partitions, a device change.
void detachDisk(State& state, Disk& disk);
// Re-reads the disk's partition table and publishes its partitions and letters.
void rescanPartitions(const Machine& m, State& state, Disk& disk);
std::string friendlyNameOf(const Disk& disk);
std::string diskInstanceId(const Disk& disk);
std::string usbInstanceId(const Disk& disk);
std::int64_t wallClockMs();

}  // namespace machine
