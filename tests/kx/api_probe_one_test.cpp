// The device list of one disk: a job on one disk of many looks at its own
// only, by its USB device's serial number.
#include <vector>

#include "device_fixture.h"
#include "kx/kx_probe_one.h"

namespace kx_test {
namespace {

class ProbeOne : public DeviceTest {
protected:
    std::vector<std::string> listed()
    {
        std::vector<std::string> paths;
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0))
            paths.push_back(d->path);
        return paths;
    }
    std::string usbId(int slot) { return machine::usbInstanceId(state()->disks.at(static_cast<size_t>(slot))); }
};

TEST_F(ProbeOne, ListsOnlyTheDiskOfThatSerialAndNoneForAnother)
{
    machine::addDisk(m(), machine::DiskOptions{});
    machine::addDisk(m(), machine::DiskOptions{});
    ASSERT_EQ(kx_dev_probe(), 1);
    EXPECT_EQ(listed().size(), 3u);

    ASSERT_EQ(kx_dev_probe_usb(usbId(2).c_str()), 1);
    EXPECT_EQ(listed(), std::vector<std::string>{wholeDiskPath(diskNumber(2))});
    char id[KX_USB_ID_SIZE] = {};
    ASSERT_EQ(kx_dev_get_vid_info(wholeDiskPath(diskNumber(2)).c_str(), id), 1);
    EXPECT_EQ(std::string(id), usbId(2));

    // Serial ...1 is a prefix of no other here, but must not match ...10.
    std::string lower = usbId(3);
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(kx_dev_probe_usb(lower.c_str()), 1);
    EXPECT_EQ(listed(), std::vector<std::string>{wholeDiskPath(diskNumber(3))}) << "the case of the id";
    ASSERT_EQ(kx_dev_probe_usb((usbId(1) + "0").c_str()), 1);
    EXPECT_TRUE(listed().empty()) << "a longer serial is another device";
    ASSERT_EQ(kx_dev_probe_usb("USB\\VID_1209&PID_4F43\\NOSUCHSERIAL"), 1);
    EXPECT_TRUE(listed().empty());

    // No serial to go by: refused, and the list is freed.
    ASSERT_EQ(kx_dev_probe(), 1);
    EXPECT_EQ(kx_dev_probe_usb(nullptr), 0);
    EXPECT_EQ(kx_dev_probe_usb("USB\\VID_1209&PID_4F43\\"), 0);
    EXPECT_TRUE(listed().empty());
}

}  // namespace
}  // namespace kx_test
