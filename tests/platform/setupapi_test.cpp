// Device information sets: the disks and USB devices of the machine as the
// probe of the storage library walks them.
#include <string>
#include <vector>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

struct Node {
    std::string id;
    std::string friendly;
};

class SetupApi : public testing_support::TempMachine {
protected:
    static std::vector<Node> list(const GUID& cls, DWORD flags = DIGCF_PRESENT)
    {
        HDEVINFO set = SetupDiGetClassDevsA(&cls, nullptr, nullptr, flags);
        EXPECT_NE(set, INVALID_HANDLE_VALUE);
        std::vector<Node> out;
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
            EXPECT_TRUE(data.ClassGuid == cls);
            char id[1024] = {}, name[1024] = {};
            EXPECT_TRUE(SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr));
            EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                          reinterpret_cast<BYTE*>(name), sizeof name, nullptr));
            out.push_back({id, name});
        }
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
        return out;
    }

    static std::vector<std::string> multiSz(const char* data)
    {
        std::vector<std::string> out;
        for (const char* p = data; *p; p += out.back().size() + 1)
            out.emplace_back(p);
        return out;
    }
};

TEST_F(SetupApi, DiskDrivesOfTheDefaultMachine)
{
    const auto disks = list(GUID_DEVCLASS_DISKDRIVE);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].friendly, "SATA SSD 64GB ATA Device");
    EXPECT_EQ(disks[0].id.find("USBSTOR\\"), std::string::npos) << "the system disk is not on USB";
    EXPECT_EQ(disks[1].friendly, "ORVANE Appliance Disk USB Device");
    EXPECT_EQ(disks[1].id, machine::diskInstanceId(state()->disks[1]));
    EXPECT_EQ(disks[1].id.rfind("USBSTOR\\", 0), 0u) << disks[1].id;
}

TEST_F(SetupApi, UsbParentsTieToTheirDisks)
{
    const auto usb = list(GUID_DEVCLASS_USB);
    ASSERT_EQ(usb.size(), 2u);
    EXPECT_EQ(usb[0].id, "USB\\ROOT_HUB20\\4&1C2F3A4B&0");
    EXPECT_EQ(usb[0].friendly, "USB Root Hub");
    EXPECT_EQ(usb[1].id, "USB\\VID_1209&PID_4F43\\" + state()->disks[1].serial);
    EXPECT_EQ(usb[1].friendly, "USB Mass Storage Device");
    // The library ties a disk to its parent by the part after the last backslash.
    const std::string serial = usb[1].id.substr(usb[1].id.rfind('\\') + 1);
    EXPECT_NE(list(GUID_DEVCLASS_DISKDRIVE)[1].id.find(serial), std::string::npos);
    EXPECT_EQ(list(GUID_DEVCLASS_DISKDRIVE)[0].id.find(usb[0].id.substr(usb[0].id.rfind('\\') + 1)),
              std::string::npos);
}

TEST_F(SetupApi, SnapshotsFollowPlugAndUnplug)
{
    HDEVINFO before = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
    machine::unplug(m(), 1);
    EXPECT_EQ(list(GUID_DEVCLASS_DISKDRIVE).size(), 1u);
    EXPECT_EQ(list(GUID_DEVCLASS_USB).size(), 1u) << "only the root hub is left";
    EXPECT_EQ(list(GUID_DEVCLASS_DISKDRIVE, 0).size(), 2u) << "without DIGCF_PRESENT the absent disk is listed";

    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(SetupDiEnumDeviceInfo(before, 1, &data)) << "an older set keeps what it saw";
    SetupDiDestroyDeviceInfoList(before);

    machine::plug(m(), 1);
    EXPECT_EQ(list(GUID_DEVCLASS_DISKDRIVE).size(), 2u);
}

TEST_F(SetupApi, PropertiesOfAUsbDiskAndItsParent)
{
    HDEVINFO disks = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(disks, 1, &data));
    char buffer[1024] = {};
    DWORD type = 0, required = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(disks, &data, SPDRP_HARDWAREID, &type,
                                                  reinterpret_cast<BYTE*>(buffer), sizeof buffer, &required));
    EXPECT_EQ(type, REG_MULTI_SZ);
    const auto ids = multiSz(buffer);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids[0], "USBSTOR\\DiskORVANE__Appliance_Disk__1.00");
    EXPECT_EQ(ids.back(), "GenDisk");
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(disks, &data, SPDRP_CLASS, &type, reinterpret_cast<BYTE*>(buffer),
                                                  sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "DiskDrive");
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(disks, &data, SPDRP_DEVICEDESC, &type,
                                                  reinterpret_cast<BYTE*>(buffer), sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "Disk drive");
    SetupDiDestroyDeviceInfoList(disks);

    HDEVINFO usb = SetupDiGetClassDevsA(&GUID_DEVCLASS_USB, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(usb, 1, &data));
    std::fill(std::begin(buffer), std::end(buffer), 0);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(usb, &data, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(buffer),
                                                  sizeof buffer, nullptr));
    EXPECT_EQ(multiSz(buffer), (std::vector<std::string>{"USB\\VID_1209&PID_4F43&REV_0100", "USB\\VID_1209&PID_4F43"}));
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(usb, &data, SPDRP_CLASS, &type, reinterpret_cast<BYTE*>(buffer),
                                                  sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "USB");
    SetupDiDestroyDeviceInfoList(usb);
}

TEST_F(SetupApi, BufferAndArgumentErrors)
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 2, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &data));

    const std::string id = machine::diskInstanceId(state()->disks[1]);
    char small[8];
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &data, small, sizeof small, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, id.size() + 1);

    const std::string friendly = "ORVANE Appliance Disk USB Device";
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<BYTE*>(small), sizeof small, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, friendly.size() + 1);

    char buffer[1024];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_UPPERFILTERS, nullptr,
                                                   reinterpret_cast<BYTE*>(buffer), sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), 13u) << "a property the device lacks";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));

    const GUID other = {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    EXPECT_TRUE(list(other).empty()) << "classes the machine has no devices of";
}

TEST_F(SetupApi, FilterListComesFromTheDeviceKey)
{
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + machine::diskInstanceId(state()->disks[1]);
    HKEY hk = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hk, nullptr),
              ERROR_SUCCESS);
    const char filters[] = "kxusbflt\0";
    ASSERT_EQ(RegSetValueExA(hk, "UpperFilters", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(filters),
                             sizeof filters),
              ERROR_SUCCESS);
    RegCloseKey(hk);

    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &data));
    char buffer[1024] = {};
    DWORD type = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_UPPERFILTERS, &type,
                                                  reinterpret_cast<BYTE*>(buffer), sizeof buffer, nullptr));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(multiSz(buffer), std::vector<std::string>{"kxusbflt"});
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace
