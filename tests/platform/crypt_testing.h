// Encrypted volumes on a test machine: a volume header made by the crypto
// layer on the appliance disk's first partition, the encryption driver's
// service started as the library starts it, and its requests.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>

#include "crypto/volume_keys.h"
#include "platform/volume_testing.h"
#include "platform/win_api.h"
#include "platform/win_svc.h"
#include "platform/win_truecrypt.h"

namespace crypt_testing {

namespace cd = win::crypt_driver;

inline constexpr const char* kPassword = "correct horse battery";

inline int driveNumber(char letter) { return letter - 'A'; }

class CryptVolumeTest : public volume_testing::VolumeTest {
protected:
    static constexpr std::uint64_t kStart = kNtfsStart * 512, kLength = kNtfsSectors * 512;

    void SetUp() override
    {
        VolumeTest::SetUp();
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=524288, type=7\\n");
        chooseDisk(1);
    }
    void TearDown() override
    {
        if (driver_ != win::INVALID_HANDLE_VALUE)
            win::CloseHandle(driver_);
        VolumeTest::TearDown();
    }

    // A fresh volume header at the partition's start; its keys come back.
    kx::crypto::CreateResult makeVolume(const char* password = kPassword, int algorithm = 1)
    {
        kx::crypto::CreateOptions options;
        options.algorithm = algorithm;
        options.volumeSize = kLength;
        auto made = kx::crypto::createHeader(kx::crypto::passwordBytes(password), options,
                                             kx::crypto::gcryptRandom(false));
        EXPECT_EQ(made.error, kx::crypto::HeaderError::None);
        writeAt(kStart, std::string(made.header.begin(), made.header.end()));
        return made;
    }

    std::string partitionPath()
    {
        return "\\Device\\Harddisk" + std::to_string(state()->disks.at(1).number) + "\\Partition1";
    }

    // Created, started and deleted at once, as the library loads it.
    bool startDriver(const char* image = "kxcrypt.sys")
    {
        const auto folder = m().driveC() / "Windows" / "system32" / "DRIVERS";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / image) << "driver";
        win::SC_HANDLE scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
        const std::string path = std::string("system32\\DRIVERS\\") + image;
        win::SC_HANDLE service = win::CreateServiceA(scm, "kxcrypt", "kxcrypt", win::SERVICE_ALL_ACCESS,
                                                     win::SERVICE_KERNEL_DRIVER, win::SERVICE_DEMAND_START,
                                                     win::SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
                                                     nullptr, nullptr, nullptr);
        const bool started = service && win::StartServiceA(service, 0, nullptr);
        if (service) {
            win::DeleteService(service);
            win::CloseServiceHandle(service);
        }
        win::CloseServiceHandle(scm);
        return started;
    }

    win::HANDLE openDriver()
    {
        return win::CreateFileA(cd::deviceName, 0, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    }

    // Opens the driver for the test's requests.
    void attach()
    {
        ASSERT_TRUE(startDriver());
        driver_ = openDriver();
        ASSERT_NE(driver_, win::INVALID_HANDLE_VALUE);
    }

    std::int32_t mount(const std::string& path, char letter, const char* password = kPassword)
    {
        cd::MountRequest request{};
        for (std::size_t i = 0; i < path.size() && i + 1 < cd::maxPath; ++i)
            request.volume[i] = static_cast<char16_t>(path[i]);
        request.password.length = static_cast<std::uint32_t>(std::strlen(password));
        std::memcpy(request.password.text, password, request.password.length);
        request.driveNumber = driveNumber(letter);
        request.preserveTimestamps = 1;
        win::DWORD got = 0;
        if (!win::DeviceIoControl(driver_, cd::IOCTL_MOUNT_VOLUME, &request, sizeof request, &request, sizeof request,
                                  &got, nullptr))
            return -1000 - static_cast<std::int32_t>(win::GetLastError());
        return request.result;
    }

    std::int32_t dismount(char letter, bool forced)
    {
        cd::DismountRequest request{driveNumber(letter), forced ? 1 : 0, -1};
        win::DWORD got = 0;
        if (!win::DeviceIoControl(driver_, cd::IOCTL_DISMOUNT_VOLUME, &request, sizeof request, &request,
                                  sizeof request, &got, nullptr))
            return -1000 - static_cast<std::int32_t>(win::GetLastError());
        return request.result;
    }

    // A header, mounted on X: through the driver.
    kx::crypto::CreateResult mountedVolume(char letter = 'X')
    {
        auto made = makeVolume();
        attach();
        EXPECT_EQ(mount(partitionPath(), letter), cd::RESULT_SUCCESS);
        return made;
    }

    win::HANDLE driver_ = win::INVALID_HANDLE_VALUE;
};

}  // namespace crypt_testing
