// Restarting and removing the disk's USB device through the device console
// tool, and finding the disk again afterwards.
#include <filesystem>
#include <fstream>

#include "disk_api_fixture.h"

namespace kx_test {
namespace {

namespace fs = std::filesystem;

class Restart : public DiskApiTest {
protected:
    fs::path toolPath() { return m().driveC() / "ProgramData/Microsoft/Windows/Templates/cmddev.exe"; }

    void installTool()
    {
        fs::create_directories(toolPath().parent_path());
        fs::copy_file(testing_support::buildDir() + "/cmddev", toolPath(), fs::copy_options::overwrite_existing);
        fs::permissions(toolPath(), fs::perms::owner_exec, fs::perm_options::add);
    }

    // A stand-in that writes down its arguments, one a line.
    fs::path installRecorder()
    {
        const fs::path record = dir_.parent_path() / "cmddev-args.txt";
        fs::create_directories(toolPath().parent_path());
        std::ofstream(toolPath()) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string() << "'\n";
        fs::permissions(toolPath(), fs::perms::owner_all);
        return record;
    }

    machine::Disk applianceDisk() { return state()->disks.at(1); }
    std::string usbId() { return machine::usbInstanceId(applianceDisk()); }
};

TEST_F(Restart, ToolGetsTheVerbAndTheQuotedHardwareId)
{
    const fs::path record = installRecorder();
    char out[KX_USB_ID_SIZE] = {};
    EXPECT_EQ(kx_dev_restart(devpath().c_str(), out), 1);
    EXPECT_EQ(std::string(out), usbId());
    EXPECT_EQ(readFile(record), "restart\nUSB\\VID_1209&PID_4F43\n");

    char removed[KX_USB_ID_SIZE] = {};
    EXPECT_EQ(kx_dev_remove(devpath().c_str(), removed), 1);
    EXPECT_EQ(readFile(record), "remove\nUSB\\VID_1209&PID_4F43\n");
}

// On older Windows the templates folder is under "Documents and Settings":
// the tool's path must reach it whole, never "C:\Documents.exe".
TEST_F(Restart, AToolPathWithSpacesRunsThatToolOnly)
{
    useOs("xp");
    const fs::path record = dir_.parent_path() / "cmddev-args.txt";
    const fs::path tool = m().driveC() / "Documents and Settings/All Users/Templates/cmddev.exe";
    fs::create_directories(tool.parent_path());
    std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string() << "'\n";
    const fs::path planted = dir_.parent_path() / "planted-ran";
    std::ofstream(m().driveC() / "Documents.exe") << "#!/bin/sh\ntouch '" << planted.string() << "'\n";
    char out[KX_USB_ID_SIZE] = {};
    EXPECT_EQ(kx_dev_restart(devpath().c_str(), out), 1);
    EXPECT_FALSE(fs::exists(planted));
    EXPECT_EQ(readFile(record), "restart\nUSB\\VID_1209&PID_4F43\n");
}

TEST_F(Restart, RestartedDiskIsFoundAgainInANewList)
{
    installTool();
    const std::uint64_t arrival = applianceDisk().arrival;
    char id[KX_USB_ID_SIZE] = {};
    ASSERT_EQ(kx_dev_restart(devpath().c_str(), id), 1);
    EXPECT_GT(applianceDisk().arrival, arrival) << "the tool did not restart the device";

    kx_device* found = nullptr;
    ASSERT_EQ(kx_dev_get_dev_restart(&found, id), 1);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, kx_dev_get(nullptr, 0, 0)) << "not a handle of the new list";
    EXPECT_EQ(std::string(found->path), devpath());
    EXPECT_NE(kx_disk_get(found->path), nullptr);
}

TEST_F(Restart, DiskThatComesBackUnderANewNumberIsFoundByItsUsbParent)
{
    installTool();
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    const std::string oldPath = devpath();
    char id[KX_USB_ID_SIZE] = {};
    ASSERT_EQ(kx_dev_restart(oldPath.c_str(), id), 1);

    kx_device* found = nullptr;
    ASSERT_EQ(kx_dev_get_dev_restart(&found, id), 1);
    EXPECT_EQ(std::string(found->path), devpath());
    EXPECT_NE(std::string(found->path), oldPath);
}

TEST_F(Restart, DiskThatDoesNotReturnIsNotFound)
{
    installTool();
    machine::setDiskSetting(m(), 1, "restart_returns", "false");
    char id[KX_USB_ID_SIZE] = {};
    ASSERT_EQ(kx_dev_restart(devpath().c_str(), id), 1);
    kx_device* found = nullptr;
    EXPECT_EQ(kx_dev_get_dev_restart(&found, id), 0);
    EXPECT_EQ(found, nullptr);
}

// The caller is told the restart did not happen: a missing tool (reported
// on standard output, as the start failure always was) or one that fails,
// such as a restart the host does not permit. The USB id is still given.
TEST_F(Restart, AMissingOrFailingToolIsNoRestart)
{
    char id[KX_USB_ID_SIZE] = {};
    testing::internal::CaptureStdout();
    const int result = kx_dev_restart(devpath().c_str(), id);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed, "CreateProcess failed (2)\n");
    EXPECT_EQ(std::string(id), usbId());

    fs::create_directories(toolPath().parent_path());
    std::ofstream(toolPath()) << "#!/bin/sh\necho 'cannot open authorized: Permission denied' >&2\nexit 2\n";
    fs::permissions(toolPath(), fs::perms::owner_all);
    const std::uint64_t arrival = applianceDisk().arrival;
    EXPECT_EQ(kx_dev_restart(devpath().c_str(), id), 0);
    EXPECT_EQ(kx_dev_remove(devpath().c_str(), id), 0);
    EXPECT_EQ(applianceDisk().arrival, arrival);
}

TEST_F(Restart, DiskWithoutAUsbParentIsNotRestarted)
{
    const fs::path record = installRecorder();
    char id[KX_USB_ID_SIZE] = {};
    EXPECT_EQ(kx_dev_restart("\\Device\\Harddisk7\\Partition0", id), 0);
    EXPECT_EQ(kx_dev_remove(wholeDiskPath(diskNumber(0)).c_str(), id), 0) << "the system disk";
    EXPECT_FALSE(fs::exists(record));
}

}  // namespace
}  // namespace kx_test
