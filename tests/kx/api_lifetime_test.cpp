// The API outside kx_soft_init..kx_soft_exit, and the device records a
// long-running caller's probes leave behind.
#include "disk_api_fixture.h"

namespace kx_test {
namespace {

class OutsideSession : public KxTest {};

TEST_F(OutsideSession, CallsBeforeStartAndAfterShutDownFailAndTouchNothing)
{
    startLog();
    const auto folder = dir_.parent_path() / "drivers";
    writeFile(folder / "kxcrypt.sys", "crypt");
    const std::string disk = "\\Device\\Harddisk1\\Partition0";
    PedWinPart part{};
    kx_user_info info{};
    char id[KX_USB_ID_SIZE] = {};
    const auto everyCallFails = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(kx_dev_probe(), 0);
        EXPECT_EQ(kx_dev_get(nullptr, 0, 0), nullptr);
        EXPECT_EQ(kx_dev_restart(disk.c_str(), id), 0);
        EXPECT_EQ(kx_disk_probe(disk.c_str()), 0);
        EXPECT_EQ(kx_disk_get(disk.c_str()), nullptr);
        EXPECT_EQ(kx_disk_get_userinfo(reinterpret_cast<kx_disk*>(&info), &info), 0);
        EXPECT_EQ(kx_load_crypto_driver(folder.c_str()), 0);
        EXPECT_EQ(kx_unload_crypto_driver(), 0);
        EXPECT_EQ(kx_load_usb_driver_dev(disk.c_str()), 2);
        EXPECT_EQ(kx_part_load(&part, "password", nullptr), 1);
        EXPECT_EQ(kx_part_format(&part, nullptr, "DATA", 1, 0), KX_FORMAT_NOT_STARTED);
        // Neither the driver file nor its service appeared.
        EXPECT_FALSE(fs::exists(m().driveC() / "Windows/system32/drivers/kxcrypt.sys"));
        EXPECT_TRUE(state()->services.empty());
    };
    everyCallFails("before start-up");
    EXPECT_TRUE(hasLocatedLine(logText(), "[.\\parted\\kx_part]:kx_dev_probe(",
                               "): the library is not started (kx_soft_init)"));

    ASSERT_EQ(kx_soft_init(), 1);
    ASSERT_EQ(kx_dev_probe(), 1);
    EXPECT_NE(kx_dev_get(nullptr, 0, 0), nullptr);
    EXPECT_EQ(kx_dev_destroy(), 1);
    kx_soft_exit();
    kx_soft_exit();  // a second shut-down has nothing to do
    everyCallFails("after shut-down");
    // The frame functions need no start.
    EXPECT_GT(kx_os_version(), 0);
    EXPECT_NE(kx_soft_system32_path(), nullptr);
}

using ProbeRecords = DiskApiTest;

TEST_F(ProbeRecords, RereadsAndDeviceChangesKeepTheRecordCountAndDestroyFreesAll)
{
    layTable("start=131136, size=2097152, type=7\\nstart=2228288, size=2097152, type=7\\n");
    const int records = registrySize();
    int added = 0, removed = 0;
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(kx_disk_probe(devpath().c_str()), 1);
        if (round % 10 == 0) {
            machine::unplug(m(), 1);
            kx_dev_is_change(&added, &removed);
            machine::plug(m(), 1);
            ASSERT_EQ(kx_dev_probe(), 1);
        }
    }
    EXPECT_EQ(registrySize(), records);
    EXPECT_EQ(kx_part_num(disk(), KX_PART_PRIMARY), 2);
    EXPECT_NE(kx_part_getinfo(disk(), nullptr, KX_PART_ALL), nullptr);

    EXPECT_EQ(kx_dev_destroy(), 1);
    EXPECT_EQ(registrySize(), 0);
}

}  // namespace
}  // namespace kx_test
