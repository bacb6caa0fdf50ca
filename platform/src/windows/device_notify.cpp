// Device notices to registered recipients (RegisterDeviceNotificationA). One
// thread per process watches the selected machine's state, which this
// process or another may change, and tells each recipient what changed
// since it last looked: disks that left, disks that arrived, and whether
// device nodes changed at all. A machine following the host's disks is
// brought in line with them when the host's disks change, so a real plug is
// told as an emulated one is.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/host_disk_watch.h"
#include "platform/machine.h"
#include "platform/win_api.h"

namespace win {

struct DeviceNotifyObject {
    PDEVICE_NOTIFY_CALLBACK_ROUTINE callback = nullptr;
    void* context = nullptr;
    bool diskInterfaces = false;
    bool live = true;
    std::uint64_t since = 0;  // the notifier's round when it was added
    // What the recipient last saw; empty until the machine was first read.
    struct Seen {
        std::filesystem::path machine;
        std::uint64_t deviceChanges = 0;
        bool hostDisks = false;
        std::map<int, std::pair<std::uint64_t, std::string>> disks;  // slot: arrival, interface
    };
    std::optional<Seen> seen;
};

namespace {

using Seen = DeviceNotifyObject::Seen;

// A few times a second, as the application's window looked before it
// registered here.
constexpr std::chrono::milliseconds kWatchInterval(300);

// \\?\USBSTOR#DISK&VEN_...#SERIAL&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}
std::string diskInterfacePath(const machine::Disk& disk)
{
    std::string path = "\\\\?\\" + machine::diskInstanceId(disk);
    std::replace(path.begin() + 4, path.end(), '\\', '#');
    return path + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

Seen look(const std::filesystem::path& dir, const machine::State& state)
{
    Seen seen{dir, state.deviceChanges, state.settings.hostDisks, {}};
    for (const machine::Disk& disk : state.disks)
        if (disk.present && disk.number >= 0)
            seen.disks[disk.slot] = {disk.arrival, diskInterfacePath(disk)};
    return seen;
}

struct Notice {
    ULONG type = 0;
    std::vector<std::byte> data;  // a DEV_BROADCAST_DEVICEINTERFACE_A, or none
};

Notice interfaceNotice(ULONG type, const std::string& path)
{
    Notice notice{type, std::vector<std::byte>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1)};
    DEV_BROADCAST_DEVICEINTERFACE_A head{};
    head.dbcc_size = static_cast<DWORD>(notice.data.size());
    head.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    head.dbcc_classguid = GUID_DEVINTERFACE_DISK;
    std::memcpy(notice.data.data(), &head, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));
    std::memcpy(notice.data.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), path.c_str(), path.size() + 1);
    return notice;
}

// What changed between two looks at one machine: removals first, as a
// restarted disk leaves before it comes back.
std::vector<Notice> changes(const Seen& before, const Seen& now, bool diskInterfaces)
{
    std::vector<Notice> notices;
    if (diskInterfaces) {
        for (const auto& [slot, disk] : before.disks) {
            auto it = now.disks.find(slot);
            if (it == now.disks.end() || it->second.first != disk.first)
                notices.push_back(interfaceNotice(static_cast<ULONG>(DBT_DEVICEREMOVECOMPLETE), disk.second));
        }
        for (const auto& [slot, disk] : now.disks) {
            auto it = before.disks.find(slot);
            if (it == before.disks.end() || it->second.first != disk.first)
                notices.push_back(interfaceNotice(static_cast<ULONG>(DBT_DEVICEARRIVAL), disk.second));
        }
    }
    if (now.deviceChanges != before.deviceChanges)
        notices.push_back(Notice{static_cast<ULONG>(DBT_DEVNODES_CHANGED), {}});
    return notices;
}

std::optional<Seen> lookNow(bool hostChanged = false)
{
    try {
        const auto m = machine::current();
        auto state = m->readWithoutNames();
        // Host disks enter the state only when someone follows them.
        if (hostChanged && state->settings.hostDisks) {
            machine::followHostDisks(*m);
            state = m->readWithoutNames();
        }
        return look(m->dir(), *state);
    } catch (const std::exception&) {
        return std::nullopt;  // a machine that cannot be read announces nothing
    }
}

class Notifier {
public:
    static Notifier& instance()
    {
        static Notifier notifier;
        return notifier;
    }

    ~Notifier()
    {
        {
            std::lock_guard guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        hostDisks_.interrupt();
        if (thread_.joinable())
            thread_.join();
    }

    // recipient->seen was taken before this call.
    void add(std::shared_ptr<DeviceNotifyObject> recipient)
    {
        std::lock_guard guard(lock_);
        // A look that began before this one may have seen less than the
        // recipient did; the recipient sits that round out.
        recipient->since = round_;
        recipients_.push_back(std::move(recipient));
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        wake_.notify_all();
    }

    bool remove(DeviceNotifyObject* recipient)
    {
        {
            std::lock_guard guard(lock_);
            auto it = std::find_if(recipients_.begin(), recipients_.end(),
                                   [&](const auto& r) { return r.get() == recipient; });
            if (it == recipients_.end())
                return false;
            recipient->live = false;
            recipients_.erase(it);  // a round under way still holds it
        }
        // A routine running elsewhere finishes first; one that unregisters
        // itself runs on this thread and cannot be waited for.
        if (std::this_thread::get_id() != threadId_.load()) {
            std::lock_guard waitOut(delivery_);
        }
        return true;
    }

private:
    Notifier() = default;

    void run()
    {
        threadId_ = std::this_thread::get_id();
        bool following = false;  // the machine last seen follows the host's disks
        bool hostChanged = false;
        for (;;) {
            std::uint64_t round = 0;
            {
                std::unique_lock guard(lock_);
                wake_.wait(guard, [this] { return stop_ || !recipients_.empty(); });
                if (stop_)
                    return;
            }
            // Kept until a look succeeds, so a change is not lost to a busy machine.
            hostChanged = hostDisks_.wait(kWatchInterval, following) || hostChanged;
            {
                std::lock_guard guard(lock_);
                if (stop_)
                    return;
                round = ++round_;
            }
            const std::optional<Seen> now = lookNow(hostChanged);
            if (!now)
                continue;
            following = now->hostDisks;
            hostChanged = false;
            std::lock_guard delivering(delivery_);
            std::vector<std::pair<std::shared_ptr<DeviceNotifyObject>, std::vector<Notice>>> work;
            {
                std::lock_guard guard(lock_);
                for (const auto& recipient : recipients_) {
                    if (recipient->since == round)
                        continue;
                    // A recipient of another machine (the selection changed)
                    // starts over from what it sees now.
                    if (recipient->seen && recipient->seen->machine == now->machine)
                        work.emplace_back(recipient, changes(*recipient->seen, *now, recipient->diskInterfaces));
                    recipient->seen = now;
                }
            }
            for (auto& [recipient, notices] : work)
                for (Notice& notice : notices) {
                    {
                        std::lock_guard guard(lock_);
                        if (!recipient->live)
                            break;
                    }
                    recipient->callback(recipient->context, notice.type,
                                        notice.data.empty() ? nullptr : notice.data.data());
                }
        }
    }

    host::HostDiskWatch hostDisks_;  // the notifier's thread alone waits on it
    std::mutex lock_;                // everything below but the thread's id
    std::mutex delivery_;            // held while routines run
    std::condition_variable wake_;
    std::vector<std::shared_ptr<DeviceNotifyObject>> recipients_;
    std::uint64_t round_ = 0;
    bool stop_ = false;
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
};

}  // namespace

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags)
{
    const auto* subscribe = static_cast<const DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS*>(recipient);
    const auto* wanted = static_cast<const DEV_BROADCAST_HDR*>(filter);
    // No window system: only a routine can receive the notices.
    if (!(flags & DEVICE_NOTIFY_CALLBACK) || !subscribe || !subscribe->Callback || !wanted ||
        wanted->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        wanted->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto* interfaces = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
    auto object = std::make_shared<DeviceNotifyObject>();
    object->callback = subscribe->Callback;
    object->context = subscribe->Context;
    object->diskInterfaces =
        (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) || interfaces->dbcc_classguid == GUID_DEVINTERFACE_DISK;
    // Before the notifier exists, so the machine outlives its thread.
    object->seen = lookNow();
    HDEVNOTIFY handle = object.get();
    Notifier::instance().add(std::move(object));
    return handle;
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY notify)
{
    if (!notify || !Notifier::instance().remove(notify)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
