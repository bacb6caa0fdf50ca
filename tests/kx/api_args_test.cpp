// Missing arguments: every device, disk and partition function refuses at
// once, says which argument through kx_log, and never waits for the lock.
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "common/kx_lock.h"
#include "disk_api_fixture.h"

namespace kx_test {
namespace {

struct Refusal {
    const char* function;
    const char* condition;
    std::function<long long()> call;  // the result, widened
};

long long ptr(const void* p) { return p ? 1 : 0; }

class Args : public DiskApiTest {};

TEST_F(Args, EachMissingArgumentIsNamedAndRefusedWithoutTheLock)
{
    kx_disk* d = disk();
    ASSERT_NE(d, nullptr);
    kx_user_info user{};
    char buffer[KX_USB_ID_SIZE] = {};
    int count = 0;
    kx_device* device = nullptr;
    const std::vector<Refusal> refusals = {
        {"kx_dev_get_vid_info", "devpath == NULL", [&] { return kx_dev_get_vid_info(nullptr, buffer); }},
        {"kx_dev_is_change", "incnop != NULL && decnop != NULL", [&] { return kx_dev_is_change(nullptr, &count); }},
        {"kx_dev_is_change", "incnop != NULL && decnop != NULL", [&] { return kx_dev_is_change(&count, nullptr); }},
        {"kx_dev_is_need_format", "devpath == NULL", [&] { return kx_dev_is_need_format(nullptr); }},
        {"kx_dev_remove", "devpath == NULL", [&] { return kx_dev_remove(nullptr, buffer); }},
        {"kx_dev_restart", "devpath == NULL", [&] { return kx_dev_restart(nullptr, buffer); }},
        {"kx_dev_restart", "out == NULL", [&] { return kx_dev_restart("\\Device\\Harddisk1\\Partition0", nullptr); }},
        {"kx_dev_get_dev_restart", "out == NULL", [&] { return kx_dev_get_dev_restart(nullptr, "USB\\X"); }},
        {"kx_dev_get_dev_restart", "usb_id == NULL", [&] { return kx_dev_get_dev_restart(&device, nullptr); }},
        {"kx_disk_probe", "devpath == NULL", [&] { return kx_disk_probe(nullptr); }},
        {"kx_disk_destroy", "devpath == NULL", [&] { return kx_disk_destroy(nullptr); }},
        {"kx_disk_get", "devpath == NULL", [&] { return ptr(kx_disk_get(nullptr)); }},
        {"kx_disk_ready", "disk == NULL", [&] { return kx_disk_ready(nullptr); }},
        {"kx_disk_freespace", "disk == NULL", [&] { return static_cast<long long>(kx_disk_freespace(nullptr, 1)); }},
        {"kx_disk_get_userinfo", "disk == NULL", [&] { return kx_disk_get_userinfo(nullptr, &user); }},
        {"kx_disk_get_userinfo", "user == NULL", [&] { return kx_disk_get_userinfo(d, nullptr); }},
        {"kx_disk_set_userinfo", "disk == NULL", [&] { return kx_disk_set_userinfo(nullptr, &user); }},
        {"kx_disk_set_userinfo", "user == NULL", [&] { return kx_disk_set_userinfo(d, nullptr); }},
        {"kx_part_num", "disk == NULL", [&] { return kx_part_num(nullptr, 0); }},
        {"kx_part_getinfo", "disk == NULL", [&] { return ptr(kx_part_getinfo(nullptr, nullptr, 0)); }},
        {"kx_part_delete", "part == NULL", [&] { return kx_part_delete(nullptr); }},
        {"kx_part_delete_all", "disk == NULL", [&] { return kx_part_delete_all(nullptr); }},
        {"kx_part_create", "disk == NULL", [&] { return kx_part_create(nullptr, 1, 3, kGiB); }},
        {"kx_part_create_pnum", "disk == NULL", [&] { return kx_part_create_pnum(nullptr, 1, kGiB, 0, 0, kGiB); }},
    };

    std::promise<void> held, done;
    std::thread holder([&] {
        kx::takeLibraryLock();
        held.set_value();
        done.get_future().wait_for(std::chrono::seconds(10));
        kx::releaseLibraryLock();
    });
    held.get_future().wait();
    std::vector<long long> results;
    const auto start = std::chrono::steady_clock::now();
    for (const Refusal& r : refusals)
        results.push_back(r.call());
    const auto took = std::chrono::steady_clock::now() - start;
    done.set_value();
    holder.join();

    EXPECT_LT(took, std::chrono::seconds(5)) << "a refusal waited for the lock";
    const std::string log = logText();
    for (size_t i = 0; i < refusals.size(); ++i) {
        EXPECT_EQ(results[i], 0) << refusals[i].function << ": " << refusals[i].condition;
        EXPECT_TRUE(hasLocatedLine(log, std::string("[.\\parted\\kx_part]:") + refusals[i].function + "(",
                                   std::string("): ") + refusals[i].condition))
            << refusals[i].function << ": " << refusals[i].condition;
    }
}

TEST_F(Args, DeviceListWalkAndVerdicts)
{
    kx_device* first = kx_dev_get(nullptr, 0, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first->path), devpath());
    EXPECT_EQ(kx_dev_get(first, 0, 0), nullptr) << "the only USB disk is the last one";
    EXPECT_EQ(kx_dev_is_need_format("\\Device\\Harddisk9\\Partition0"), 3);

    char id[KX_USB_ID_SIZE] = {};
    EXPECT_EQ(kx_dev_get_vid_info(devpath().c_str(), id), 1);
    EXPECT_EQ(std::string(id), machine::usbInstanceId(state()->disks.at(1)));

    EXPECT_EQ(kx_disk_destroy(devpath().c_str()), 1);
    EXPECT_EQ(disk()->path, nullptr) << "the disk record lets go of its path";
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 1);
    ASSERT_NE(disk()->path, nullptr);
    EXPECT_EQ(std::string(disk()->path), devpath());

    EXPECT_EQ(kx_dev_destroy(), 1);
    EXPECT_EQ(kx_dev_get(nullptr, 0, 0), nullptr);
    EXPECT_EQ(kx_disk_get(devpath().c_str()), nullptr);
}

}  // namespace
}  // namespace kx_test
