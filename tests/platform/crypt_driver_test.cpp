// The encryption driver's device: there while its service runs, its control
// codes and their buffer sizes, mounting with the right and wrong password,
// and dismounting while the volume is busy.
#include "platform/crypt_testing.h"

using namespace win;
using namespace crypt_testing;

namespace {

class CryptDriver : public CryptVolumeTest {
protected:
    BOOL control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize)
    {
        DWORD got = 0;
        return DeviceIoControl(driver_, code, in, inSize, out, outSize, &got, nullptr);
    }
    std::uint32_t askVersion()
    {
        std::uint32_t version = 0;
        EXPECT_TRUE(control(cd::IOCTL_GET_DRIVER_VERSION, nullptr, 0, &version, sizeof version));
        return version;
    }
    std::int32_t anyMounted()
    {
        std::int32_t answer = -1;
        EXPECT_TRUE(control(cd::IOCTL_IS_ANY_VOLUME_MOUNTED, nullptr, 0, &answer, sizeof answer));
        return answer;
    }
    DWORD stopDriver()
    {
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(scm, "kxcrypt", SERVICE_ALL_ACCESS);
        SERVICE_STATUS status{};
        const DWORD error = service && ControlService(service, SERVICE_CONTROL_STOP, &status) ? 0 : GetLastError();
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(scm);
        return error;
    }
};

TEST_F(CryptDriver, TheDeviceIsThereWhileTheDeletedServiceRunsAndGoesWhenItStops)
{
    EXPECT_EQ(openDriver(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    attach();
    const auto* service = machine::serviceNamed(*state(), "kxcrypt");
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(service->running);
    EXPECT_TRUE(service->markedForDelete);

    EXPECT_EQ(askVersion(), 1082u);
    EXPECT_FALSE(control(cd::IOCTL_GET_PASSWORD_CACHE, nullptr, 0, nullptr, 0));
    HANDLE second = openDriver();
    std::int32_t count = 0;
    EXPECT_TRUE(control(cd::IOCTL_GET_DEVICE_REFCOUNT, &count, sizeof count, &count, sizeof count));
    EXPECT_EQ(count, 2);
    CloseHandle(second);
    EXPECT_TRUE(control(cd::IOCTL_GET_DEVICE_REFCOUNT, &count, sizeof count, &count, sizeof count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(anyMounted(), 0);

    EXPECT_EQ(stopDriver(), 0u);
    EXPECT_EQ(machine::serviceNamed(*state(), "kxcrypt"), nullptr);
    EXPECT_FALSE(control(cd::IOCTL_GET_DRIVER_VERSION, nullptr, 0, &count, sizeof count));
    EXPECT_EQ(openDriver(), INVALID_HANDLE_VALUE);
    // The 64-bit image is the same driver.
    EXPECT_TRUE(startDriver("kxcrypt-x64.sys"));
    HANDLE again = openDriver();
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(CryptDriver, RequestsWithBuffersTooSmallAreRefusedAsWindowsRefusesThem)
{
    attach();
    std::uint16_t small = 0;
    EXPECT_FALSE(control(cd::IOCTL_GET_DRIVER_VERSION, nullptr, 0, &small, sizeof small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    cd::MountRequest request{};
    EXPECT_FALSE(control(cd::IOCTL_MOUNT_VOLUME, &request, sizeof request - 4, &request, sizeof request));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(control(cd::IOCTL_MOUNT_VOLUME, &request, sizeof request, &request, 12));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    request.driveNumber = 26;
    EXPECT_FALSE(control(cd::IOCTL_MOUNT_VOLUME, &request, sizeof request, &request, sizeof request));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    std::vector<std::uint8_t> list(sizeof(cd::MountList) - 1);
    EXPECT_FALSE(control(cd::IOCTL_GET_MOUNTED_VOLUMES, nullptr, 0, list.data(), static_cast<DWORD>(list.size())));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(control(cd::IOCTL_GET_VOLUME_PATHS, nullptr, 0, list.data(), static_cast<DWORD>(list.size())));
    cd::DismountRequest dismount{};
    EXPECT_FALSE(control(cd::IOCTL_DISMOUNT_VOLUME, &dismount, 8, &dismount, sizeof dismount));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(control(0x72FFC, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST_F(CryptDriver, AnotherProductsDriverAnswersItsVersionAndKeepsOursFromStarting)
{
    machine::setSetting(m(), "crypt_driver_version", "1071");
    driver_ = openDriver();
    ASSERT_NE(driver_, INVALID_HANDLE_VALUE);
    EXPECT_EQ(askVersion(), 1071u);
    EXPECT_FALSE(startDriver());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    machine::setSetting(m(), "crypt_driver_version", "0");
    EXPECT_FALSE(control(cd::IOCTL_GET_DRIVER_VERSION, nullptr, 0, nullptr, 0));
    EXPECT_EQ(openDriver(), INVALID_HANDLE_VALUE);
}

TEST_F(CryptDriver, MountTakesTheRightPasswordOnAFreeLetterOnceAndTheListsShowIt)
{
    makeVolume();
    attach();
    const DWORD before = GetLogicalDrives();
    EXPECT_EQ(mount(partitionPath(), 'X', "wrong password"), cd::RESULT_PASSWORD_WRONG);
    EXPECT_EQ(mount(partitionPath(), 'D'), cd::RESULT_DRIVE_TAKEN);  // the partition's own letter
    EXPECT_EQ(mount("\\Device\\Harddisk9\\Partition1", 'X'), cd::RESULT_OS_ERROR);
    EXPECT_EQ(GetLogicalDrives(), before);

    ASSERT_EQ(mount(partitionPath(), 'X'), cd::RESULT_SUCCESS);
    EXPECT_EQ(GetLogicalDrives(), before | (1u << driveNumber('X')));
    EXPECT_EQ(mount(partitionPath(), 'Y'), cd::RESULT_ALREADY_MOUNTED);
    EXPECT_EQ(anyMounted(), 1);

    auto list = std::make_unique<cd::MountList>();
    ASSERT_TRUE(control(cd::IOCTL_GET_MOUNTED_VOLUMES, nullptr, 0, list.get(), sizeof *list));
    EXPECT_EQ(list->mountedDrives, 1u << driveNumber('X'));
    // Packed to 4 bytes as the driver lays it out: copied, not referenced.
    const std::uint64_t length = list->diskLength[driveNumber('X')];
    EXPECT_EQ(length, kLength - 512);
    EXPECT_EQ(list->algorithm[driveNumber('X')], 1);
    auto paths = std::make_unique<cd::VolumePaths>();
    ASSERT_TRUE(control(cd::IOCTL_GET_VOLUME_PATHS, nullptr, 0, paths.get(), sizeof *paths));
    const std::string path = partitionPath();
    const std::u16string expected(path.begin(), path.end());
    EXPECT_EQ(std::u16string(paths->paths[driveNumber('X')]), expected);
    // What the driver keeps for the volume is its keys, never the password.
    std::ifstream in(dir_ / "machine.json");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find(kPassword), std::string::npos);

    EXPECT_EQ(stopDriver(), 1061u);  // not while a volume is mounted
    EXPECT_EQ(dismount('X', false), cd::RESULT_SUCCESS);
    EXPECT_EQ(dismount('X', false), cd::RESULT_DRIVE_NOT_FOUND);
    EXPECT_EQ(anyMounted(), 0);
    EXPECT_EQ(GetLogicalDrives(), before);
}

TEST_F(CryptDriver, ADosNameOfThePartitionMountsAndAPartitionWithoutHeaderDoesNot)
{
    makeVolume();
    attach();
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "KXCRYPT_TMP", partitionPath().c_str()));
    const auto changes = state()->deviceChanges;
    EXPECT_EQ(mount("\\??\\KXCRYPT_TMP", 'Q'), cd::RESULT_SUCCESS);
    EXPECT_GT(state()->deviceChanges, changes);
    EXPECT_EQ(mount(partitionPath(), 'R'), cd::RESULT_ALREADY_MOUNTED);  // the same partition by another name
    EXPECT_EQ(dismount('Q', true), cd::RESULT_SUCCESS);

    writeAt(kStart, std::string(512, '\x5A'));  // no header at all
    EXPECT_EQ(mount(partitionPath(), 'Q'), cd::RESULT_PASSWORD_WRONG);

}

TEST_F(CryptDriver, AVolumeWithOpenHandlesIsBusyUnlessForcedAndTheBusySettingHoldsEvenForced)
{
    mountedVolume('X');
    HANDLE volume = CreateFileA("\\\\.\\X:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dismount('X', false), cd::RESULT_FILES_OPEN);
    EXPECT_EQ(dismount('X', true), cd::RESULT_SUCCESS);
    std::vector<char> buffer(512);
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(volume, buffer.data(), 512, &got, nullptr));  // the volume went under the handle
    CloseHandle(volume);

    ASSERT_EQ(mount(partitionPath(), 'X'), cd::RESULT_SUCCESS);
    machine::setSetting(m(), "crypt_busy", "X:3");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dismount('X', true), cd::RESULT_FILES_OPEN) << i;
    EXPECT_EQ(dismount('X', false), cd::RESULT_SUCCESS);
    EXPECT_THROW(machine::setSetting(m(), "crypt_busy", "X3"), machine::MachineError);
}

}  // namespace
