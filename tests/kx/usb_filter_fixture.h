// Set-up of the USB filter driver tests: a probed library whose 64-bit
// answer follows the machine, and readers of what the machine holds.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "arch/pedwin_usbfilter.h"
#include "disk_api_fixture.h"

namespace kx_test {

class UsbFilterTest : public DiskApiTest {
protected:
    void SetUp() override
    {
        kx::resetWindows64ForTests();
        DiskApiTest::SetUp();
    }
    void TearDown() override
    {
        DiskApiTest::TearDown();
        kx::resetWindows64ForTests();
    }

    void use64BitWindows()
    {
        machine::setSetting(m(), "wow64", "true");
        kx::resetWindows64ForTests();
    }

    // A folder holding both driver files, each with its own bytes.
    std::filesystem::path driverFolder()
    {
        const auto folder = dir_.parent_path() / "drivers";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "kxusbflt.sys") << "32-bit filter";
        std::ofstream(folder / "kxusbflt-x64.sys") << "64-bit filter";
        return folder;
    }

    std::filesystem::path windowsFile(const std::string& relative) { return m().driveC() / "Windows" / relative; }

    std::vector<std::string> filters(int slot = 1)
    {
        return machine::upperFiltersOf(*state(), state()->disks.at(static_cast<size_t>(slot)));
    }
    std::vector<std::string> nodeChanges(int slot = 1)
    {
        return state()->disks.at(static_cast<size_t>(slot)).nodeChanges;
    }

    // Lists filters at a disk's node as another program would.
    void setFilterValue(int slot, const std::string& multiSz)
    {
        const std::string key =
            "SYSTEM\\CurrentControlSet\\Enum\\" + machine::diskInstanceId(state()->disks.at(static_cast<size_t>(slot)));
        win::HKEY hk = nullptr;
        ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, win::KEY_WRITE, nullptr,
                                       &hk, nullptr),
                  win::ERROR_SUCCESS);
        ASSERT_EQ(win::RegSetValueExA(hk, "UpperFilters", 0, win::REG_MULTI_SZ,
                                      reinterpret_cast<const win::BYTE*>(multiSz.data()),
                                      static_cast<win::DWORD>(multiSz.size())),
                  win::ERROR_SUCCESS);
        win::RegCloseKey(hk);
    }

    // The raw bytes of the disk's UpperFilters value.
    std::vector<std::uint8_t> filterBytes(int slot = 1)
    {
        const std::string id = machine::diskInstanceId(state()->disks.at(static_cast<size_t>(slot)));
        char buffer[4096] = {};
        win::DWORD size = sizeof buffer, type = 0;
        win::HKEY hk = nullptr;
        if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, ("SYSTEM\\CurrentControlSet\\Enum\\" + id).c_str(), 0,
                               win::KEY_READ, &hk) != win::ERROR_SUCCESS)
            return {};
        const bool read = win::RegQueryValueExA(hk, "UpperFilters", nullptr, &type,
                                                reinterpret_cast<win::BYTE*>(buffer), &size) == win::ERROR_SUCCESS;
        win::RegCloseKey(hk);
        return read ? std::vector<std::uint8_t>(buffer, buffer + size) : std::vector<std::uint8_t>{};
    }
};

}  // namespace kx_test
