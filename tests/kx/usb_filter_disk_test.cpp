// The USB filter driver on one disk: attaching it restarts the disk's node
// the way the system's word size wants, a disk that lists any filter is left
// alone, a failed attach is undone, and unknown disks are never touched.
#include "usb_filter_fixture.h"

namespace kx_test {
namespace {

using UsbFilterDisk = UsbFilterTest;

const std::vector<std::string> kDisableEnable = {"disable", "enable"};

TEST_F(UsbFilterDisk, AttachOnThirtyTwoBitWindowsListsTheFilterAndDisablesThenEnables)
{
    EXPECT_EQ(kx_is_load_usb_driver_dev(devpath().c_str()), 0);
    ASSERT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(filters(), std::vector<std::string>{"kxusbflt"});
    EXPECT_EQ(filterBytes().size(), 1024u);
    EXPECT_EQ(nodeChanges(), kDisableEnable);
    EXPECT_TRUE(state()->disks[1].present);
    EXPECT_EQ(kx_is_load_usb_driver_dev(devpath().c_str()), 1);

    const std::string log = logText();
    EXPECT_TRUE(hasLocatedLine(log, "LOG:[.\\parted\\kx_part:kx_load_usb_driver_dev:",
                               "]: Load special USB Driver: " + devpath()));
    EXPECT_TRUE(hasLocatedLine(log, "[.\\arch\\pedwinbase:PedWinDeviceUsbDriverLoad:",
                               "] Success to load driver: " + devpath()));
    EXPECT_TRUE(hasLocatedLine(log, "LOG:[.\\parted\\kx_part:kx_load_usb_driver_dev:",
                               "]: USB Driver isn't loaded: " + devpath() + ", load: 0"));

    // Attached already: nothing is written or restarted.
    ASSERT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(nodeChanges(), kDisableEnable);
}

TEST_F(UsbFilterDisk, AttachOnSixtyFourBitWindowsRestartsThroughAPropertyChange)
{
    use64BitWindows();
    ASSERT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(filters(), std::vector<std::string>{"kxusbflt"});
    EXPECT_EQ(nodeChanges(), std::vector<std::string>{"propchange"});
    EXPECT_EQ(kx_test_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(nodeChanges(), (std::vector<std::string>{"propchange", "propchange"}));
}

TEST_F(UsbFilterDisk, DiskListingAnyFilterIsLeftAlone)
{
    setFilterValue(1, std::string("vendorflt\0", 11));
    EXPECT_EQ(kx_is_load_usb_driver_dev(devpath().c_str()), 1) << "any filter counts";
    EXPECT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(filterBytes(), (std::vector<std::uint8_t>{'v', 'e', 'n', 'd', 'o', 'r', 'f', 'l', 't', 0, 0}));
    EXPECT_TRUE(nodeChanges().empty());
}

TEST_F(UsbFilterDisk, RestartTestOnANodeAskingForARebootEnablesItAgain)
{
    machine::setDiskSetting(m(), 1, "node_reboot_on", "disable");
    EXPECT_EQ(kx_test_load_usb_driver_dev(devpath().c_str()), 1);
    EXPECT_EQ(nodeChanges(), kDisableEnable);
    EXPECT_TRUE(state()->disks[1].present);
    EXPECT_FALSE(state()->disks[1].disabled);
    const std::string log = logText();
    EXPECT_TRUE(hasLocatedLine(log, "[.\\arch\\pedwinbase:ChangeUsbStatus:", "] Need restart"));
    EXPECT_TRUE(contains(log, "] Enabe Usb Drive(" + machine::diskInstanceId(state()->disks[1]) + ")!"));
    EXPECT_TRUE(hasLocatedLine(log, "LOG:[.\\parted\\kx_part:kx_test_load_usb_driver_dev:",
                               "]: USB Driver isn't loaded: " + devpath() + ", load: 1"));
    EXPECT_TRUE(filters().empty()) << "the test leaves the list alone";
}

TEST_F(UsbFilterDisk, RestartTestWhoseDisableFailsStillEnables)
{
    machine::setDiskSetting(m(), 1, "node_fail_on", "disable");
    EXPECT_EQ(kx_test_load_usb_driver_dev(devpath().c_str()), 2);
    EXPECT_EQ(nodeChanges(), std::vector<std::string>{"enable"});
    EXPECT_TRUE(contains(logText(), "] Fail to PedWinDeviceUsbDriverTestLoad(" + devpath() + ")!"));
    EXPECT_TRUE(contains(logText(), "] Fail to SetupDiCallClassInstaller("));
}

// Each way an attach can fail leaves the disk without the filter and running.
TEST_F(UsbFilterDisk, FailedAttachIsUndone)
{
    struct Case {
        const char* key;
        const char* value;
        bool wow64;
        int result;
    };
    const std::string path = devpath();
    // Last: a node that cannot be enabled stays disabled.
    for (const Case& c : {Case{"node_fail_on", "disable", false, 2}, Case{"node_reboot_on", "disable", false, 1},
                          Case{"node_fail_on", "propchange", true, 2}, Case{"node_reboot_on", "propchange", true, 1},
                          Case{"node_fail_on", "enable", false, 2}}) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        machine::setSetting(m(), "wow64", c.wow64 ? "true" : "false");
        kx::resetWindows64ForTests();
        machine::setDiskSetting(m(), 1, "node_fail_on", "none");
        machine::setDiskSetting(m(), 1, "node_reboot_on", "none");
        machine::setDiskSetting(m(), 1, c.key, c.value);
        EXPECT_EQ(kx_load_usb_driver_dev(path.c_str()), c.result);
        EXPECT_TRUE(filters().empty());
        EXPECT_EQ(kx_is_load_usb_driver_dev(path.c_str()), 0);
        EXPECT_EQ(state()->disks[1].present, std::string(c.value) != "enable");
    }
}

TEST_F(UsbFilterDisk, UnknownDiskGivesTwoFromEveryOperation)
{
    const std::string nowhere = wholeDiskPath(9);
    EXPECT_EQ(kx_is_load_usb_driver_dev(nowhere.c_str()), 0);
    EXPECT_EQ(kx_load_usb_driver_dev(nowhere.c_str()), 2);
    EXPECT_EQ(kx_test_load_usb_driver_dev(nowhere.c_str()), 2);
    EXPECT_EQ(kx_unload_usb_driver_dev(nowhere.c_str()), 2);
    for (auto op : {kx::PedWinDeviceUsbDriverIsLoad, kx::PedWinDeviceUsbDriverLoad, kx::PedWinDeviceUsbDriverRestore,
                    kx::PedWinDeviceUsbDriverUnload, kx::PedWinDeviceUsbDriverTestLoad})
        EXPECT_EQ(op(nowhere.c_str()), 2);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\arch\\pedwinbase:PedWinDeviceUsbDriverIsLoad:",
                               "] Cann't find device: " + nowhere));
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\arch\\pedwinbase:PedWinDeviceUsbDriverUnload:",
                               "]:Cann't find device: " + nowhere));
    EXPECT_TRUE(nodeChanges().empty());
    EXPECT_TRUE(filters().empty());

    EXPECT_EQ(kx_load_usb_driver_dev(nullptr), 4);
    EXPECT_EQ(kx_unload_usb_driver_dev(nullptr), 4);
    EXPECT_EQ(kx_is_load_usb_driver_dev(nullptr), 0);
    EXPECT_EQ(kx_test_load_usb_driver_dev(nullptr), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_load_usb_driver_dev(", "): devpath == NULL"));
}

TEST_F(UsbFilterDisk, UnloadClearsOnlyOurFilterWithoutARestart)
{
    ASSERT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    ASSERT_EQ(kx_unload_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_TRUE(filters().empty());
    EXPECT_EQ(filterBytes(), std::vector<std::uint8_t>(1024, 0));
    EXPECT_EQ(nodeChanges(), kDisableEnable);
    EXPECT_TRUE(hasLocatedLine(logText(), "LOG:[.\\parted\\kx_part:kx_unload_usb_driver_dev:",
                               "]: Unload USB Driver Device: " + devpath() + ", load: 0"));

    setFilterValue(1, std::string("vendorflt\0KxUsbFlt\0other\0", 26));
    ASSERT_EQ(kx_unload_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(filters(), (std::vector<std::string>{"vendorflt", "other"}));
}

TEST_F(UsbFilterDisk, AttachAllTakesEveryUsbDiskWithoutAFilterAndNoOtherDisk)
{
    machine::DiskOptions second;
    second.size = 1ull << 30;
    second.vendor = "ACME";
    second.product = "Stick";
    const int slot = machine::addDisk(m(), second);
    setFilterValue(slot, std::string("vendorflt\0", 11));
    machine::DiskOptions fixed = second;
    fixed.usb = false;
    fixed.product = "Fixed";
    const int internal = machine::addDisk(m(), fixed);
    ASSERT_EQ(kx_dev_probe(), 1);
    ASSERT_EQ(kx_load_usb_driver_dev(wholeDiskPath(diskNumber(internal)).c_str()), 0)
        << "a disk named by its path may be filtered";
    ASSERT_EQ(kx_unload_usb_driver_dev(wholeDiskPath(diskNumber(internal)).c_str()), 0);
    const auto internalChanges = nodeChanges(internal);

    EXPECT_EQ(kx_load_usb_driver_dev_all(), 1);
    EXPECT_EQ(filters(1), std::vector<std::string>{"kxusbflt"});
    EXPECT_EQ(nodeChanges(1), kDisableEnable);
    EXPECT_EQ(filters(slot), std::vector<std::string>{"vendorflt"});
    EXPECT_TRUE(nodeChanges(slot).empty());
    EXPECT_TRUE(filters(internal).empty());
    EXPECT_EQ(nodeChanges(internal), internalChanges);
    EXPECT_TRUE(nodeChanges(0).empty());
    EXPECT_TRUE(
        hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_load_usb_driver_dev_all:", "]: USB Driver Load All"));

    // A failure is logged, never returned.
    machine::setDiskSetting(m(), 1, "node_fail_on", "all");
    ASSERT_EQ(kx_unload_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(kx_load_usb_driver_dev_all(), 1);
}

// Without the undo of kx_load_usb_driver_dev, the attach itself must not
// leave a node disabled.
TEST_F(UsbFilterDisk, AttachWhoseDisableAsksForARebootEnablesTheNodeAgain)
{
    machine::setDiskSetting(m(), 1, "node_reboot_on", "disable");
    EXPECT_EQ(kx_load_usb_driver_dev_all(), 1);
    EXPECT_EQ(nodeChanges(), kDisableEnable);
    EXPECT_TRUE(state()->disks[1].present);
    EXPECT_EQ(filters(), std::vector<std::string>{"kxusbflt"});
    EXPECT_TRUE(contains(logText(), "] Fail to ChangUsbStatus(" + machine::diskInstanceId(state()->disks[1]) + ")!"));
}

// Installed, started at boot and attached, the driver makes the probe count
// the disk as removable.
TEST_F(UsbFilterDisk, AttachedRunningFilterMakesTheDiskRemovable)
{
    ASSERT_EQ(kx_load_usb_driver(driverFolder().c_str()), 1);
    ASSERT_EQ(kx_load_usb_driver_dev(devpath().c_str()), 0);
    EXPECT_EQ(kx::isRemovableDiskEx(diskNumber(1)), 0) << "the service has not started yet";

    win::SC_HANDLE scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    win::SC_HANDLE service = win::OpenServiceA(scm, "kxusbflt", win::SERVICE_START);
    ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
    win::CloseServiceHandle(service);
    win::CloseServiceHandle(scm);
    EXPECT_EQ(kx::isRemovableDiskEx(diskNumber(1)), 1);

    kx_dev_destroy();
    ASSERT_EQ(kx_dev_probe(), 1);
    kx_device* removable = kx_dev_get(nullptr, 2, 0);
    ASSERT_NE(removable, nullptr);
    EXPECT_EQ(std::string(removable->path), devpath());
}

}  // namespace
}  // namespace kx_test
