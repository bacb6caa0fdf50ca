// Every device, disk and partition function at once from several threads.
// Run under ThreadSanitizer this shows the library lock covers what they
// share; without it, that nothing crashes or deadlocks. Handles are only
// passed back to the library, never read: another thread may free them.
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "disk_api_fixture.h"

namespace kx_test {
namespace {

namespace fs = std::filesystem;

class Concurrency : public DiskApiTest {
protected:
    void installTool()
    {
        const fs::path tool = m().driveC() / "ProgramData/Microsoft/Windows/Templates/cmddev.exe";
        fs::create_directories(tool.parent_path());
        fs::copy_file(testing_support::buildDir() + "/cmddev", tool, fs::copy_options::overwrite_existing);
        fs::permissions(tool, fs::perms::owner_exec, fs::perm_options::add);
    }
};

TEST_F(Concurrency, EveryFunctionFromSeveralThreadsAtOnce)
{
    installTool();
    const std::string path = devpath();
    const char* p = path.c_str();
    constexpr int kRounds = 6;
    std::atomic<int> calls{0};

    auto devices = [&] {
        for (int i = 0; i < kRounds; ++i) {
            kx_dev_probe();
            for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 2, 0x1209))
                ++calls;
            char id[KX_USB_ID_SIZE] = {};
            kx_dev_get_vid_info(p, id);
            int added = 0, removed = 0;
            kx_dev_is_change(&added, &removed);
            kx_dev_is_need_format(p);
            calls += 5;
        }
    };
    auto disks = [&] {
        for (int i = 0; i < kRounds; ++i) {
            kx_disk_probe(p);
            kx_disk* d = kx_disk_get(p);
            kx_disk_ready(d);
            kx_disk_freespace(d, KX_PART_PRIMARY);
            kx_disk_freespace(d, KX_PART_LOGICAL);
            kx_part_num(d, KX_PART_ALL);
            for (PedWinPart* part = kx_part_getinfo(d, nullptr, KX_PART_ALL); part;
                 part = kx_part_getinfo(d, part, KX_PART_ALL))
                ++calls;
            calls += 6;
        }
    };
    auto userInfo = [&] {
        for (int i = 0; i < kRounds; ++i) {
            kx_user_info user{"thread", "writer", "", ""};
            kx_disk_set_userinfo(kx_disk_get(p), &user);
            kx_disk_get_userinfo(kx_disk_get(p), &user);
            calls += 2;
        }
    };
    auto tables = [&] {
        for (int i = 0; i < kRounds; ++i) {
            kx_disk* d = kx_disk_get(p);
            kx_part_delete_all(d);
            kx_part_create_pnum(d, 1, kGiB, 0, 0, kGiB);
            kx_part_create(d, KX_PART_PRIMARY, KX_FS_FAT32, kGiB);
            kx_part_delete(kx_part_getinfo(d, nullptr, KX_PART_PRIMARY));
            calls += 5;
        }
    };
    auto lifecycle = [&] {
        for (int i = 0; i < kRounds; ++i) {
            char id[KX_USB_ID_SIZE] = {};
            kx_disk_destroy(p);
            if (kx_dev_restart(p, id)) {
                kx_device* found = nullptr;
                kx_dev_get_dev_restart(&found, id);
            }
            kx_dev_destroy();
            kx_dev_probe();
            calls += 5;
        }
        char id[KX_USB_ID_SIZE] = {};
        kx_dev_remove(p, id);
    };

    std::vector<std::thread> threads;
    const std::vector<std::function<void()>> jobs = {devices, disks, userInfo, tables};
    for (const auto& job : jobs) {
        threads.emplace_back(job);
        threads.emplace_back(job);
    }
    threads.emplace_back(lifecycle);
    for (auto& t : threads)
        t.join();
    EXPECT_GT(calls.load(), 0);

    // The library still works: the disk was removed last and comes back.
    machine::plug(m(), 1);
    ASSERT_EQ(kx_dev_probe(), 1);
    ASSERT_NE(kx_disk_get(devpath().c_str()), nullptr);
    EXPECT_EQ(kx_disk_probe(devpath().c_str()), 1);

    // Whatever table the threads left behind, a fresh standard table works.
    kx_disk* d = kx_disk_get(devpath().c_str());
    ASSERT_EQ(kx_part_delete_all(d), 1);
    EXPECT_EQ(kx_part_create_pnum(d, 1, kGiB, 0, 0, kGiB), 1);
}

}  // namespace
}  // namespace kx_test
