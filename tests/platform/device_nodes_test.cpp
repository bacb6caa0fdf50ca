// Disk drive nodes: their filter lists written through SetupAPI, and the
// class installer's disable, enable and restart, which the disk follows. A
// disabled node stays listed while its disk is gone.
#include <cstring>
#include <fstream>
#include <string>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class DeviceNodes : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=204800, type=7\\n");
        open();
    }
    void TearDown() override
    {
        if (set_ != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set_);
        TempMachine::TearDown();
    }

    // A fresh set; data_ is the appliance's disk drive node.
    void open()
    {
        if (set_ != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set_);
        set_ = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        data_ = SP_DEVINFO_DATA{};
        data_.cbSize = sizeof data_;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(set_, 1, &data_));
    }

    BOOL change(DWORD stateChange, DWORD scope = DICS_FLAG_GLOBAL)
    {
        SP_PROPCHANGE_PARAMS p{};
        p.ClassInstallHeader.cbSize = sizeof p.ClassInstallHeader;
        p.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        p.StateChange = stateChange;
        p.Scope = scope;
        EXPECT_TRUE(SetupDiSetClassInstallParamsA(set_, &data_, &p.ClassInstallHeader, sizeof p));
        return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set_, &data_);
    }

    DWORD installFlags()
    {
        SP_DEVINSTALL_PARAMS_A params{};
        params.cbSize = sizeof params;
        EXPECT_TRUE(SetupDiGetDeviceInstallParamsA(set_, &data_, &params));
        return params.Flags;
    }

    BOOL writeFilters(const void* list, DWORD size)
    {
        return SetupDiSetDeviceRegistryPropertyA(set_, &data_, SPDRP_UPPERFILTERS, static_cast<const BYTE*>(list),
                                                 size);
    }

    bool physicalDriveOpens(int number)
    {
        HANDLE h = CreateFileA(("\\\\.\\PhysicalDrive" + std::to_string(number)).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }

    int diskDrives()
    {
        HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        int n = 0;
        while (SetupDiEnumDeviceInfo(set, static_cast<DWORD>(n), &data))
            ++n;
        SetupDiDestroyDeviceInfoList(set);
        return n;
    }

    const machine::Disk& disk() { return state()->disks.at(1); }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data_{};
};

TEST_F(DeviceNodes, FilterListIsWrittenReadBackAndDeleted)
{
    char list[1024] = "kxusbflt";
    ASSERT_TRUE(writeFilters(list, sizeof list));
    EXPECT_EQ(machine::upperFiltersOf(*state(), disk()), std::vector<std::string>{"kxusbflt"});
    char back[1024] = {};
    DWORD type = 0, needed = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_UPPERFILTERS, &type,
                                                  reinterpret_cast<BYTE*>(back), sizeof back, &needed));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(needed, 1024u) << "stored as written";
    EXPECT_STREQ(back, "kxusbflt");

    std::memset(list, 0, sizeof list);
    ASSERT_TRUE(writeFilters(list, sizeof list));
    EXPECT_TRUE(machine::upperFiltersOf(*state(), disk()).empty());
    ASSERT_TRUE(writeFilters(nullptr, 0));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_UPPERFILTERS, nullptr,
                                                   reinterpret_cast<BYTE*>(back), sizeof back, nullptr));
    EXPECT_EQ(GetLastError(), 13u) << "a missing list reads as ERROR_INVALID_DATA";

    EXPECT_FALSE(writeFilters(nullptr, 4));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(SetupDiSetDeviceRegistryPropertyA(set_, &data_, SPDRP_FRIENDLYNAME,
                                                   reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_REG_PROPERTY));
    machine::setSetting(m(), "admin", "false");
    EXPECT_FALSE(writeFilters(list, sizeof list));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(DeviceNodes, DisabledDiskIsGoneButItsNodeStaysListedUntilEnabled)
{
    const int number = disk().number;
    HANDLE before = CreateFileA(("\\\\.\\PhysicalDrive" + std::to_string(number)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(before, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(change(DICS_DISABLE));
    EXPECT_EQ(installFlags() & (DI_NEEDREBOOT | DI_NEEDRESTART), 0u);
    EXPECT_FALSE(disk().present);
    EXPECT_TRUE(disk().partitions.empty());
    EXPECT_FALSE(physicalDriveOpens(number));
    char buffer[512];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(before, buffer, sizeof buffer, &got, nullptr)) << "handles die with the disk";
    CloseHandle(before);
    EXPECT_EQ(diskDrives(), 2) << "the node is still there to be enabled";

    open();
    ASSERT_TRUE(change(DICS_ENABLE));
    EXPECT_TRUE(disk().present);
    EXPECT_EQ(disk().number, number);
    ASSERT_EQ(disk().partitions.size(), 1u);
    EXPECT_TRUE(physicalDriveOpens(number));
    EXPECT_EQ(disk().nodeChanges, (std::vector<std::string>{"disable", "enable"}));
}

TEST_F(DeviceNodes, PropertyChangeRestartsTheDiskInPlace)
{
    const auto arrival = disk().arrival;
    ASSERT_TRUE(change(DICS_PROPCHANGE, DICS_FLAG_CONFIGSPECIFIC));
    EXPECT_TRUE(disk().present);
    EXPECT_GT(disk().arrival, arrival);
    EXPECT_EQ(disk().partitions.size(), 1u);
    EXPECT_EQ(disk().nodeChanges, std::vector<std::string>{"propchange"});
}

TEST_F(DeviceNodes, RebootRequestsAndRefusalsFollowTheDiskSettings)
{
    machine::setDiskSetting(m(), 1, "node_reboot_on", "disable");
    machine::setDiskSetting(m(), 1, "node_fail_on", "propchange");
    open();
    ASSERT_TRUE(change(DICS_ENABLE));
    EXPECT_EQ(installFlags() & DI_NEEDREBOOT, 0u);
    ASSERT_TRUE(change(DICS_DISABLE));
    EXPECT_NE(installFlags() & DI_NEEDREBOOT, 0u);
    EXPECT_FALSE(disk().present) << "the change is made; only a reboot is asked for";
    ASSERT_TRUE(change(DICS_ENABLE));
    EXPECT_TRUE(disk().present);
    EXPECT_FALSE(change(DICS_PROPCHANGE, DICS_FLAG_CONFIGSPECIFIC));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));

    // The system disk cannot be stopped.
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set_, 0, &data_));
    EXPECT_FALSE(change(DICS_DISABLE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_DISABLEABLE));
    EXPECT_TRUE(state()->disks[0].present);
}

TEST_F(DeviceNodes, InstallerNeedsItsParametersAndANodeThatIsStillThere)
{
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set_, &data_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
    SP_PROPCHANGE_PARAMS p{};
    p.ClassInstallHeader.cbSize = sizeof p.ClassInstallHeader;
    p.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    p.StateChange = 9;
    p.Scope = DICS_FLAG_GLOBAL;
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &data_, &p.ClassInstallHeader, sizeof p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    machine::unplug(m(), 1);
    EXPECT_FALSE(change(DICS_ENABLE)) << "the set was made before the disk left";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    EXPECT_FALSE(writeFilters("x\0", 3));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
}

TEST_F(DeviceNodes, UnpluggingADisabledDiskTakesItsNodeAway)
{
    ASSERT_TRUE(change(DICS_DISABLE));
    machine::unplug(m(), 1);
    EXPECT_EQ(diskDrives(), 1);
    machine::plug(m(), 1);
    EXPECT_TRUE(disk().present);
    EXPECT_FALSE(disk().disabled);
}

TEST_F(DeviceNodes, FilterDriverAnswersOnlyWhenListedAndRunning)
{
    auto answers = [&](const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
        DWORD got = 0;
        const BOOL ok = DeviceIoControl(h, 0x73C40, nullptr, 0, nullptr, 0, &got, nullptr);
        CloseHandle(h);
        return ok != FALSE;
    };
    const std::string drive = "\\\\.\\PhysicalDrive" + std::to_string(disk().number);
    std::ofstream(m().driveC() / "Windows/system32/drivers/kxusbflt.sys") << "driver";
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceA(scm, "kxusbflt", "kxusbflt", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, "system32\\DRIVERS\\kxusbflt.sys",
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    const char list[] = "other\0KXUSBFLT\0";
    ASSERT_TRUE(writeFilters(list, sizeof list));
    EXPECT_FALSE(answers(drive)) << "the service is not running";

    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_TRUE(answers(drive));
    EXPECT_FALSE(answers("\\\\.\\D:")) << "partitions do not pass it on";
    ASSERT_TRUE(writeFilters("other\0", 7));
    EXPECT_FALSE(answers(drive));

    ASSERT_TRUE(writeFilters(list, sizeof list));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_FALSE(answers(drive));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

}  // namespace
