// The kernel's device events as the notices of a machine following the
// host's disks read them, and the watch that wakes them: records cut short
// or malformed are never acted on, and a test tree's disks coming and going
// are noticed without the kernel.
#include <poll.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "host/host_disk_watch.h"
#include "host/uevents.h"
#include "support/host_tree.h"
#include "support/temp_machine.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using host::parseUevent;

const std::string kBlockAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
    "ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
    "SUBSYSTEM=block\0"
    "MAJOR=8\0MINOR=16\0DEVNAME=sdb\0DEVTYPE=disk\0DISKSEQ=9\0SEQNUM=4123\0"s;

// Parsed from a buffer of exactly its size, so a read past the end is
// caught by the address sanitizer.
std::optional<host::Uevent> parse(const std::string& record)
{
    auto exact = std::make_unique<char[]>(record.size() + 1);
    std::copy(record.begin(), record.end(), exact.get());
    return parseUevent(record.empty() ? nullptr : exact.get(), record.size());
}

TEST(Uevents, KernelRecordsAreReadAndOnlyDiskChangesCount)
{
    const auto add = parse(kBlockAdd);
    ASSERT_TRUE(add);
    EXPECT_EQ(add->action, "add");
    EXPECT_EQ(add->subsystem, "block");
    EXPECT_TRUE(add->devpath.ends_with("/block/sdb")) << add->devpath;
    EXPECT_TRUE(host::touchesDisks(*add));

    const auto event = [](const std::string& action, const std::string& subsystem) {
        return action + "@/devices/x\0ACTION="s + action + "\0SUBSYSTEM="s + subsystem + '\0';
    };
    for (const char* action : {"add", "remove", "change"}) {
        for (const char* subsystem : {"block", "usb"}) {
            const auto e = parse(event(action, subsystem));
            ASSERT_TRUE(e) << action << " " << subsystem;
            EXPECT_TRUE(host::touchesDisks(*e)) << action << " " << subsystem;
        }
    }
    for (const auto& [action, subsystem] : {std::pair{"bind", "usb"}, {"unbind", "usb"}, {"move", "net"},
                                            {"add", "net"}, {"add", "scsi_disk"}, {"online", "cpu"}}) {
        const auto e = parse(event(action, subsystem));
        ASSERT_TRUE(e) << action << " " << subsystem;
        EXPECT_FALSE(host::touchesDisks(*e)) << action << " " << subsystem;
    }
}

TEST(Uevents, RecordsCutShortOrMissingTheirEndAreRefused)
{
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parseUevent(nullptr, 16));
    // Cut anywhere inside a field: the last field has no NUL.
    for (std::size_t size = 1; size < kBlockAdd.size(); ++size) {
        const std::string cut = kBlockAdd.substr(0, size);
        const auto e = parse(cut);
        if (cut.back() != '\0') {
            EXPECT_FALSE(e) << "cut at " << size;
            continue;
        }
        // Cut between fields: a shorter record, whole only once it names its subsystem.
        const bool hasSubsystem = cut.find(std::string("\0SUBSYSTEM=", 11)) != std::string::npos;
        EXPECT_EQ(e.has_value(), hasSubsystem) << "cut at " << size;
    }
    std::string unended = kBlockAdd;
    unended.back() = 'X';
    EXPECT_FALSE(parse(unended));
}

TEST(Uevents, MalformedAndForeignRecordsAreRefused)
{
    const std::string refused[] = {
        "add@/devices/x\0ACTION=remove\0SUBSYSTEM=block\0"s,  // the fields contradict the header
        "add@/devices/x\0ACTION=add\0"s,                        // no subsystem
        "add@/devices/x\0SUBSYSTEM=block\0NOEQUALS\0"s,
        "add@/devices/x\0SUBSYSTEM=block\0=value\0"s,
        "add@/devices/x\0\0SUBSYSTEM=block\0"s,  // an empty field
        "add@\0SUBSYSTEM=block\0"s,              // no device path
        "@/devices/x\0SUBSYSTEM=block\0"s,       // no action
        "add/devices/x\0SUBSYSTEM=block\0"s,
        "SUBSYSTEM=block\0"s,
        // udev's own records: a binary header after "libudev"
        "libudev\0\xfe\xed\xca\xfe\x28\0\0\0\x28\0\0\0\x30\0\0\0SUBSYSTEM=block\0"s,
    };
    for (const auto& record : refused)
        EXPECT_FALSE(parse(record)) << record;
    EXPECT_TRUE(parse("remove@/devices/x\0SUBSYSTEM=usb\0"s)) << "ACTION= may be left out";
}

TEST(Uevents, RecordsLongerThanAnyTheKernelSendsAreRefused)
{
    const std::string head = "change@/devices/x\0SUBSYSTEM=block\0LONG="s;
    std::string longest = head + std::string(host::kUeventRecordMax - head.size() - 1, 'v') + '\0';
    ASSERT_EQ(longest.size(), host::kUeventRecordMax);
    EXPECT_TRUE(parse(longest));
    EXPECT_FALSE(parse(head + std::string(host::kUeventRecordMax, 'v') + '\0'));
    EXPECT_FALSE(parse(head + std::string(1 << 20, 'v') + '\0'));
    // A size beyond the buffer is refused before anything is read.
    EXPECT_FALSE(parseUevent(longest.data(), SIZE_MAX));
}

// On a real kernel: a loop device attached is a block event, which the
// socket reports and the watch wakes on at once.
TEST(Uevents, TheKernelsBlockEventWakesTheWatchAtOnce)
{
    host::UeventSocket socket;
    if (!socket.open())
        GTEST_SKIP() << "no uevent socket can be had here";
    host::HostDiskWatch watch;
    ASSERT_TRUE(watch.wait(10ms, true));
    char pattern[] = "/tmp/orvane-uevent-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path file = std::filesystem::path(pattern) / "loop.img";
    std::ofstream(file).close();
    std::filesystem::resize_file(file, 1 << 20);
    std::string loop;
    const bool attached = testing_support::runCommand("losetup --find --show " + file.string() + " 2>/dev/null", &loop) == 0 &&
                          loop.starts_with("/dev/loop");
    const auto start = std::chrono::steady_clock::now();
    const bool woke = attached && watch.wait(5s, true);
    const auto took = std::chrono::steady_clock::now() - start;
    pollfd ready{socket.fd(), POLLIN, 0};
    const bool readable = attached && ::poll(&ready, 1, 0) == 1;
    const bool drained = readable && socket.drain();
    if (attached)
        testing_support::runCommand("losetup -d " + loop.substr(0, loop.find('\n')));
    std::filesystem::remove_all(pattern);
    if (!attached)
        GTEST_SKIP() << "no loop device could be set up here";
    if (!woke && !readable)
        GTEST_SKIP() << "the kernel's events do not reach this host's sockets";
    EXPECT_TRUE(woke);
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(drained) << "the loop device's block event was not recognised";
}

class HostDiskWatchTest : public ::testing::Test {
protected:
    testing_support::HostTree tree_;
    host::HostDiskWatch watch_;
};

TEST_F(HostDiskWatchTest, ATestTreesDisksComingAndGoingAreNoticedByTheirBlockList)
{
    tree_.addDisk("sdb", "1-1", "WATCH001");
    const std::string before = host::blockDeviceList();
    EXPECT_EQ(before, "sdb 8:16 131072\n");

    EXPECT_FALSE(watch_.wait(10ms, false)) << "a machine not following the host hears nothing";
    EXPECT_TRUE(watch_.wait(10ms, true)) << "the first look after following starts must bring the state in line";
    EXPECT_FALSE(watch_.wait(10ms, true));

    tree_.addDisk("sdc", "1-2", "WATCH002");
    EXPECT_TRUE(watch_.wait(10ms, true));
    EXPECT_FALSE(watch_.wait(10ms, true)) << "one change is told once";

    std::filesystem::remove(tree_.root() / "sys/block/sdb");
    EXPECT_TRUE(watch_.wait(10ms, true));
    EXPECT_EQ(host::blockDeviceList(), "sdc 8:32 131072\n");

    // Not following forgets the list: following again starts afresh.
    EXPECT_FALSE(watch_.wait(10ms, false));
    EXPECT_TRUE(watch_.wait(10ms, true));
}

TEST_F(HostDiskWatchTest, InterruptEndsTheWaitAndEveryLaterOne)
{
    ASSERT_TRUE(watch_.wait(10ms, true));
    std::thread stopper([this] {
        std::this_thread::sleep_for(100ms);
        watch_.interrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(watch_.wait(30s, true));
    EXPECT_FALSE(watch_.wait(30s, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    stopper.join();
}

}  // namespace
