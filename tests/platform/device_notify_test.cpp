// Device notices to a registered recipient: a disk that leaves and comes
// back is announced by its interface, and nothing comes after unregistering;
// a machine following the host's disks announces a host disk plugged in or
// pulled out with nothing else enumerating.
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/machine.h"
#include "platform/win_api.h"
#include "support/host_tree.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class Recorder {
public:
    static ULONG Routine(void* context, ULONG type, void* setting)
    {
        auto* self = static_cast<Recorder*>(context);
        std::string name;
        if (setting) {
            const auto* notice = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(setting);
            EXPECT_EQ(notice->dbcc_devicetype, DBT_DEVTYP_DEVICEINTERFACE);
            EXPECT_TRUE(notice->dbcc_classguid == GUID_DEVINTERFACE_DISK);
            name = notice->dbcc_name;
        }
        std::lock_guard guard(self->lock_);
        self->notices_.emplace_back(type, name);
        return 0;
    }

    std::vector<std::pair<ULONG, std::string>> Take()
    {
        std::lock_guard guard(lock_);
        return std::exchange(notices_, {});
    }

private:
    std::mutex lock_;
    std::vector<std::pair<ULONG, std::string>> notices_;
};

// Notices gathered until "device nodes changed", the last of a change's
// notices, arrives (or five seconds pass).
std::vector<std::pair<ULONG, std::string>> WaitForChange(Recorder& recorder)
{
    const auto type = static_cast<ULONG>(DBT_DEVNODES_CHANGED);
    std::vector<std::pair<ULONG, std::string>> seen;
    for (int i = 0; i < 100; ++i) {
        for (auto& notice : recorder.Take())
            seen.push_back(std::move(notice));
        for (const auto& notice : seen)
            if (notice.first == type)
                return seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return seen;
}

HDEVNOTIFY RegisterForDisks(Recorder& recorder)
{
    DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS recipient{&Recorder::Routine, &recorder};
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_DISK;
    return RegisterDeviceNotificationA(&recipient, &filter, DEVICE_NOTIFY_CALLBACK);
}

class DeviceNotify : public testing_support::TempMachine {};

TEST_F(DeviceNotify, DiskLeavingAndArrivingIsAnnouncedUntilUnregistered)
{
    Recorder recorder;
    DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS recipient{&Recorder::Routine, &recorder};
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_DISK;
    EXPECT_EQ(RegisterDeviceNotificationA(&recipient, &filter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr)
        << "no window system: a window handle cannot receive notices";
    const HDEVNOTIFY notify = RegisterDeviceNotificationA(&recipient, &filter, DEVICE_NOTIFY_CALLBACK);
    ASSERT_NE(notify, nullptr);

    machine::unplug(m(), 1);
    auto seen = WaitForChange(recorder);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, DBT_DEVICEREMOVECOMPLETE);
    const std::string disk = seen[0].second;
    EXPECT_TRUE(disk.starts_with("\\\\?\\USBSTOR#DISK&VEN_ORVANE&PROD_APPLIANCE_DISK")) << disk;
    EXPECT_TRUE(disk.ends_with("#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}")) << disk;
    EXPECT_EQ(seen[1], std::make_pair(static_cast<ULONG>(DBT_DEVNODES_CHANGED), std::string()));

    machine::plug(m(), 1);
    seen = WaitForChange(recorder);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(static_cast<ULONG>(DBT_DEVICEARRIVAL), disk));

    ASSERT_TRUE(UnregisterDeviceNotification(notify));
    recorder.Take();
    machine::unplug(m(), 1);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(recorder.Take().empty());
    EXPECT_FALSE(UnregisterDeviceNotification(notify));
}

TEST(DeviceNotifyHostDisks, HostDisksPluggedAndPulledAreAnnouncedWithoutAnEnumeration)
{
    testing_support::HostTree tree;
    const std::filesystem::path block = tree.addDisk("sdb", "1-1", "PLUG0001");
    std::filesystem::remove(tree.root() / "sys/block/sdb");  // not plugged in yet
    auto m = machine::Machine::create(tree.root() / "machine", true);
    machine::select(m->dir());
    Recorder recorder;
    const HDEVNOTIFY notify = RegisterForDisks(recorder);
    ASSERT_NE(notify, nullptr);

    std::filesystem::create_directory_symlink(block, tree.root() / "sys/block/sdb");
    auto seen = WaitForChange(recorder);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, DBT_DEVICEARRIVAL);
    const std::string disk = seen[0].second;
    EXPECT_TRUE(disk.starts_with("\\\\?\\USBSTOR#DISK&VEN_ORVANE&PROD_APPLIANCE_DISK")) << disk;
    EXPECT_NE(disk.find("#PLUG0001"), std::string::npos) << disk;
    EXPECT_EQ(seen[1].first, DBT_DEVNODES_CHANGED);
    EXPECT_TRUE(m->read()->disks.at(1).present) << "the state itself must follow, not only the notices";

    std::filesystem::remove(tree.root() / "sys/block/sdb");
    seen = WaitForChange(recorder);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(static_cast<ULONG>(DBT_DEVICEREMOVECOMPLETE), disk));

    // A machine that does not follow the host hears nothing of it.
    machine::setSetting(*m, "host_disks", "off");
    std::filesystem::create_directory_symlink(block, tree.root() / "sys/block/sdb");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(recorder.Take().empty());
    EXPECT_FALSE(m->read()->disks.at(1).present);
    EXPECT_TRUE(UnregisterDeviceNotification(notify));
}

}  // namespace
