// Installing the USB filter driver: the file for the system's word size in
// its drivers folder and the boot-start service, registered once.
#include "usb_filter_fixture.h"

namespace kx_test {
namespace {

namespace fs = std::filesystem;

using UsbFilterInstall = UsbFilterTest;

TEST_F(UsbFilterInstall, ThirtyTwoBitFileGoesToSystem32AndTheServiceIsRegisteredOnce)
{
    const fs::path folder = driverFolder();
    ASSERT_EQ(kx_load_usb_driver(folder.c_str()), 1);
    EXPECT_EQ(readFile(windowsFile("system32/drivers/kxusbflt.sys")), "32-bit filter");
    EXPECT_FALSE(fs::exists(windowsFile("SysWOW64/drivers/kxusbflt-x64.sys")));
    const machine::Service* service = machine::serviceNamed(*state(), "kxusbflt");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->displayName, "kxusbflt");
    EXPECT_EQ(service->type, static_cast<std::uint32_t>(win::SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(service->startType, static_cast<std::uint32_t>(win::SERVICE_BOOT_START));
    EXPECT_EQ(service->errorControl, static_cast<std::uint32_t>(win::SERVICE_ERROR_NORMAL));
    EXPECT_EQ(service->imagePath, "system32\\DRIVERS\\kxusbflt.sys");
    EXPECT_FALSE(service->running) << "the library never starts it";
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\parted\\kx_part:kx_load_usb_driver:", "]: USB Driver Load"));
    EXPECT_FALSE(contains(logText(), "USB service exists"));

    ASSERT_EQ(kx_load_usb_driver(folder.c_str()), 1);
    EXPECT_TRUE(hasLocatedLine(logText(), "OK:[.\\arch\\pedwinbase:UsbDriverLoad:", "] USB service exists"));
    EXPECT_EQ(state()->services.size(), 1u);
}

TEST_F(UsbFilterInstall, SixtyFourBitFileGoesToSysWow64)
{
    use64BitWindows();
    // A folder named the Windows way, ending in a backslash.
    fs::create_directories(m().driveC() / "drv");
    std::ofstream(m().driveC() / "drv/kxusbflt-x64.sys") << "64-bit filter";
    ASSERT_EQ(kx_load_usb_driver("C:\\drv\\"), 1);
    EXPECT_EQ(readFile(windowsFile("SysWOW64/drivers/kxusbflt-x64.sys")), "64-bit filter");
    EXPECT_FALSE(fs::exists(windowsFile("system32/drivers/kxusbflt.sys")));
    const machine::Service* service = machine::serviceNamed(*state(), "kxusbflt");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->imagePath, "SysWOW64\\DRIVERS\\kxusbflt-x64.sys");
}

TEST_F(UsbFilterInstall, MissingFileRegistersNothingUnlessOneIsInstalledAlready)
{
    const fs::path empty = dir_.parent_path() / "empty";
    fs::create_directories(empty);
    EXPECT_EQ(kx_load_usb_driver(empty.c_str()), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_load_usb_driver:",
                               "]: Fail to setup system file: " + empty.string() + "\\kxusbflt"));
    EXPECT_TRUE(state()->services.empty());

    // Only the 64-bit file, on 32-bit Windows.
    std::ofstream(empty / "kxusbflt-x64.sys") << "64-bit filter";
    EXPECT_EQ(kx_load_usb_driver(empty.c_str()), 0);

    std::ofstream(windowsFile("system32/drivers/kxusbflt.sys")) << "installed before";
    EXPECT_EQ(kx_load_usb_driver(empty.c_str()), 1);
    EXPECT_EQ(readFile(windowsFile("system32/drivers/kxusbflt.sys")), "installed before");
}

TEST_F(UsbFilterInstall, FileThatCannotBePutInPlaceRegistersNothing)
{
    fs::remove_all(windowsFile("system32/drivers"));
    EXPECT_EQ(kx_load_usb_driver(driverFolder().c_str()), 0);
    EXPECT_TRUE(state()->services.empty()) << "a boot-start service without its file";
}

TEST_F(UsbFilterInstall, ServiceMarkedForDeleteOrNoRightsFail)
{
    win::SC_HANDLE scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    win::SC_HANDLE old = win::CreateServiceA(scm, "kxusbflt", "kxusbflt", win::SERVICE_ALL_ACCESS,
                                        win::SERVICE_KERNEL_DRIVER, win::SERVICE_BOOT_START,
                                        win::SERVICE_ERROR_NORMAL, "system32\\DRIVERS\\kxusbflt.sys", nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(old, nullptr);
    ASSERT_TRUE(win::DeleteService(old));
    EXPECT_EQ(kx_load_usb_driver(driverFolder().c_str()), 0);
    EXPECT_TRUE(
        hasLocatedLine(logText(), "LOG:[.\\arch\\pedwinbase:UsbDriverLoad:", "] USB service marked for delete"));
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_load_usb_driver:", "]: Fail to load USB Driver"));
    win::CloseServiceHandle(old);
    win::CloseServiceHandle(scm);

    machine::setSetting(m(), "admin", "false");
    EXPECT_EQ(kx_load_usb_driver(driverFolder().c_str()), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\arch\\pedwinbase:UsbDriverLoad:", "] USB Fail to OpenSCManager()"));
    EXPECT_TRUE(state()->services.empty());

    EXPECT_EQ(kx_load_usb_driver(nullptr), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_load_usb_driver(", "): path == NULL"));
    EXPECT_EQ(kx_unload_usb_driver(), 1);
}

}  // namespace
}  // namespace kx_test
