// Installing, attaching to and releasing the encryption driver.
#include "private_fixture.h"

namespace kx_test {
namespace {

class CryptoDriver : public PrivateTest {
protected:
    std::vector<machine::Service> services() { return state()->services; }

    // A kxcrypt driver some earlier process loaded and left running.
    void runningDriver()
    {
        writeFile(windowsFile("system32/drivers/kxcrypt.sys"), "installed before");
        m().update([](machine::State& s) {
            machine::Service service;
            service.name = service.displayName = "kxcrypt";
            service.type = win::SERVICE_KERNEL_DRIVER;
            service.startType = win::SERVICE_DEMAND_START;
            service.imagePath = "system32\\DRIVERS\\kxcrypt.sys";
            service.running = true;
            s.services.push_back(service);
        });
    }
};

bool sameServices(const std::vector<machine::Service>& a, const std::vector<machine::Service>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].running != b[i].running || a[i].markedForDelete != b[i].markedForDelete ||
            a[i].imagePath != b[i].imagePath)
            return false;
    return true;
}

TEST_F(CryptoDriver, NoDriverFileAnywhereFailsWithTheSetupMessage)
{
    const auto empty = dir_.parent_path() / "empty";
    std::filesystem::create_directories(empty);
    EXPECT_EQ(kx_load_crypto_driver(empty.c_str()), 0);
    EXPECT_TRUE(hasLocatedLine(logText(), "ERR:[.\\parted\\kx_part:kx_load_crypto_driver:",
                               "]: Fail to setup system file: " + empty.string() + "\\kxcrypt"));
    EXPECT_NE(logText().find("]: Fail to install the crypt driver\n"), std::string::npos);
    EXPECT_TRUE(services().empty());

    EXPECT_EQ(kx_load_crypto_driver(nullptr), 0);
    EXPECT_NE(logText().find("path == NULL"), std::string::npos);
}

TEST_F(CryptoDriver, LoadsFromTheFolderAndStopsWhenReleased)
{
    ASSERT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 1);
    EXPECT_EQ(readFile(windowsFile("system32/drivers/kxcrypt.sys")), "32-bit crypt");
    ASSERT_EQ(services().size(), 1u);
    EXPECT_EQ(services()[0].imagePath, "system32\\DRIVERS\\kxcrypt.sys");
    EXPECT_TRUE(services()[0].running);
    EXPECT_TRUE(services()[0].markedForDelete) << "the entry does not outlive a reboot";
    EXPECT_TRUE(driverAnswers());

    EXPECT_EQ(kx_unload_crypto_driver(), 1);
    EXPECT_FALSE(driverAnswers()) << "nothing was mounted, so the driver stopped";
}

TEST_F(CryptoDriver, SixtyFourBitWindowsGetsTheX64File)
{
    machine::setSetting(m(), "wow64", "true");
    kx::resetWindows64ForTests();
    ASSERT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 1);
    EXPECT_EQ(readFile(windowsFile("SysWOW64/drivers/kxcrypt-x64.sys")), "64-bit crypt");
    ASSERT_FALSE(services().empty());
    EXPECT_EQ(services().back().imagePath, "SysWOW64\\DRIVERS\\kxcrypt-x64.sys");
}

TEST_F(CryptoDriver, RunningDriverOfOurVersionIsAttachedAsItIs)
{
    runningDriver();
    const auto before = services();
    const auto empty = dir_.parent_path() / "empty";
    std::filesystem::create_directories(empty);
    EXPECT_EQ(kx_load_crypto_driver(empty.c_str()), 1) << "the installed file serves";
    EXPECT_TRUE(sameServices(services(), before));
}

TEST_F(CryptoDriver, ForeignDriverIsNeverReplaced)
{
    machine::setSetting(m(), "crypt_driver_version", "1000");
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE,
                                   "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TrueCrypt", 0, nullptr,
                                   0, win::KEY_WRITE, nullptr, &key, nullptr),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
    EXPECT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 0);
    EXPECT_NE(logText().find("]: Fail to install the crypt driver\n"), std::string::npos);
    EXPECT_TRUE(services().empty());
    EXPECT_EQ(kx_unload_crypto_driver(), 1);
}

TEST_F(CryptoDriver, ForeignDriverThatWillNotStopEndsTheAttempt)
{
    machine::setSetting(m(), "crypt_driver_version", "1000");
    EXPECT_EQ(kx_load_crypto_driver(driverFolder().c_str()), 0);
}

}  // namespace
}  // namespace kx_test
