// The kernel's device events as a machine following the host's disks reads
// them, and the watch they wake: records cut short or malformed are never
// acted on, and a real kernel's event wakes the watch at once.
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
#include "support/temp_machine.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string kBlockAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
    "ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
    "SUBSYSTEM=block\0MAJOR=8\0MINOR=16\0DEVNAME=sdb\0DEVTYPE=disk\0SEQNUM=4123\0"s;

// From a buffer of exactly its size, so the address sanitizer sees a read past its end.
std::optional<host::Uevent> parse(const std::string& record)
{
    auto exact = std::make_unique<char[]>(record.size());
    std::copy(record.begin(), record.end(), exact.get());
    return host::parseUevent(record.empty() ? nullptr : exact.get(), record.size());
}

TEST(Uevents, KernelRecordsAreReadAndOnlyDiskChangesCount)
{
    const auto add = parse(kBlockAdd);
    ASSERT_TRUE(add);
    EXPECT_EQ(add->action, "add");
    EXPECT_EQ(add->subsystem, "block");
    EXPECT_TRUE(add->devpath.ends_with("/block/sdb")) << add->devpath;
    EXPECT_TRUE(host::touchesDisks(*add));
    const std::pair<std::string, bool> events[] = {
        {"remove@/devices/x\0SUBSYSTEM=usb\0"s, true},  // ACTION= may be left out
        {"change@/devices/x\0ACTION=change\0SUBSYSTEM=block\0"s, true},
        {"bind@/devices/x\0ACTION=bind\0SUBSYSTEM=usb\0"s, false},
        {"add@/devices/x\0ACTION=add\0SUBSYSTEM=net\0"s, false}};
    for (const auto& [record, counts] : events) {
        const auto e = parse(record);
        ASSERT_TRUE(e) << record;
        EXPECT_EQ(host::touchesDisks(*e), counts) << record;
    }
}

TEST(Uevents, RecordsCutShortMalformedOrTooLongAreRefused)
{
    EXPECT_FALSE(parse(""));
    for (std::size_t size = 1; size < kBlockAdd.size(); ++size) {
        const std::string cut = kBlockAdd.substr(0, size);
        // Cut inside a field: refused. Cut between fields: a shorter record,
        // whole once it names its subsystem.
        const bool whole = cut.back() == '\0' && cut.find("\0SUBSYSTEM="s) != std::string::npos;
        EXPECT_EQ(parse(cut).has_value(), whole) << "cut at " << size;
    }
    for (const std::string& bad : {
             "add@/devices/x\0ACTION=remove\0SUBSYSTEM=block\0"s,  // fields against the header
             "add@/devices/x\0ACTION=add\0"s, "add@/devices/x\0SUBSYSTEM=block\0NOEQUALS\0"s,
             "add@/devices/x\0SUBSYSTEM=block\0=value\0"s, "add@/devices/x\0\0SUBSYSTEM=block\0"s,
             "add@\0SUBSYSTEM=block\0"s, "@/devices/x\0SUBSYSTEM=block\0"s, "SUBSYSTEM=block\0"s,
             "libudev\0\xfe\xed\xca\xfe\x28\0\0\0SUBSYSTEM=block\0"s})  // udev's own, binary header
        EXPECT_FALSE(parse(bad)) << bad;

    const std::string head = "change@/devices/x\0SUBSYSTEM=block\0LONG="s;
    const std::string longest = head + std::string(host::kUeventRecordMax - head.size() - 1, 'v') + '\0';
    EXPECT_TRUE(parse(longest));
    EXPECT_FALSE(parse(longest + 'v' + '\0'));
    EXPECT_FALSE(parse(head + std::string(1 << 20, 'v') + '\0'));
    EXPECT_FALSE(host::parseUevent(longest.data(), SIZE_MAX)) << "a size beyond any record is refused unread";
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
    const bool attached =
        testing_support::runCommand("losetup --find --show " + file.string() + " 2>/dev/null", &loop) == 0 &&
        loop.starts_with("/dev/loop");
    const auto start = std::chrono::steady_clock::now();
    const bool woke = attached && watch.wait(5s, true);
    const auto took = std::chrono::steady_clock::now() - start;
    pollfd ready{socket.fd(), POLLIN, 0};
    const bool readable = attached && ::poll(&ready, 1, 0) == 1;
    const bool recognised = readable && socket.drain();
    if (attached)
        testing_support::runCommand("losetup -d " + loop.substr(0, loop.find('\n')));
    std::filesystem::remove_all(pattern);
    if (!attached)
        GTEST_SKIP() << "no loop device could be set up here";
    if (!woke && !readable)
        GTEST_SKIP() << "the kernel's events do not reach this host's sockets";
    EXPECT_TRUE(woke);
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(recognised) << "the loop device's block event was not recognised";
}

TEST(HostDiskWatch, InterruptEndsTheWaitAndEveryLaterOne)
{
    host::HostDiskWatch watch;
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        watch.interrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(watch.wait(30s, false));
    EXPECT_FALSE(watch.wait(30s, true) && watch.wait(30s, true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    stopper.join();
}

}  // namespace
