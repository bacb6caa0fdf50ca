// A machine following the host's USB disks, over a sysfs, /dev and /proc
// tree the test builds: which disks it takes, which it refuses and why,
// slots kept across renames, and the USB restart through a fake hub. The
// disk nodes are loop devices where the host gives them, else plain files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "platform/host_checks.h"
#include "platform/machine.h"
#include "platform/win_api.h"
#include "support/host_tree.h"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

// Whether this process holds the device node open with O_DIRECT.
bool directOpenOn(const std::string& node)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        if (fs::read_symlink(entry.path(), ec) != node)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        std::string key;
        unsigned long flags = 0;
        while (info >> key)
            if (key == "flags:" && info >> std::oct >> flags && (flags & O_DIRECT))
                return true;
    }
    return false;
}

class HostDisks : public ::testing::Test {
protected:
    fs::path addDisk(const std::string& name, const std::string& port, const std::string& serial,
                     std::uint64_t sectors = 131072, bool loop = false)
    {
        return tree_.addDisk(name, port, serial, sectors, loop);
    }
    void addPartition(const fs::path& block, const std::string& name, unsigned major, unsigned minor)
    {
        tree_.addPartition(block, name, major, minor);
    }
    void mount(const std::string& numbers, const std::string& point) { tree_.mount(numbers, point); }
    std::shared_ptr<machine::Machine> createMachine()
    {
        auto m = machine::Machine::create(root_ / "machine", true);
        machine::select(m->dir());
        return m;
    }
    const machine::Disk* slotOf(const machine::State& s, const std::string& name)
    {
        for (const auto& d : s.disks)
            if (d.host && fs::path(d.backing).filename() == name)
                return &d;
        return nullptr;
    }

    testing_support::HostTree tree_;
    const fs::path root_ = tree_.root();
};

TEST_F(HostDisks, TakesOnlyFreeUsbDisksAndSaysWhyEveryOtherIsRefused)
{
    addDisk("sda", "", "");  // SATA
    addDisk("sdb", "1-1", "FREE0001");
    addPartition(addDisk("sdc", "1-2", "MOUNTED1"), "sdc1", 8, 33);
    mount("8:33", "/media/stick");
    addPartition(addDisk("sdd", "1-3", "SWAP0001"), "sdd2", 8, 50);
    tree_.addSwap("/dev/sdd2");
    addPartition(addDisk("sde", "1-4", "ROOT0001"), "sde1", 8, 65);
    mount("8:65", "/");
    addPartition(addDisk("sdf", "1-5", "BOOT0001"), "sdf1", 8, 81);
    mount("8:81", "/boot/efi");
    const fs::path held = addDisk("sdg", "1-6", "HELD0001");
    addPartition(held, "sdg1", 8, 97);
    put(held / "sdg1/holders/dm-0", "");
    addDisk("sdh", "1-7", "EMPTY001", 0);
    const fs::path bad = addDisk("sdi", "1-8", "BADSIZE1");
    put(bad / "size", "-5\n");
    // Loop devices never show in holders/: over the whole disk, and over a
    // partition named by its node in the host's /dev.
    addDisk("sdj", "1-9", "LOOPED01");
    addPartition(addDisk("sdk", "1-10", "LOOPED02"), "sdk2", 8, 162);
    for (const auto& [loop, backing] : {std::pair{"loop0", "/dev/sdj (deleted)"}, {"loop1", "/dev/sdk2"},
                                        {"loop2", "/srv/images/sdb.img"}}) {
        fs::create_directories(root_ / "sys/block" / loop / "loop");
        put(root_ / "sys/block" / loop / "loop/backing_file", std::string(backing) + "\n");
    }
    // A partition caught while the kernel re-reads the table (its folder
    // there, its numbers gone) is settling; one with bad numbers is not.
    const fs::path settling = addDisk("sdl", "1-11", "SETTLE01");
    addPartition(settling, "sdl1", 8, 177);
    fs::remove(settling / "sdl1/dev");
    const fs::path garbled = addDisk("sdm", "1-12", "GARBLED1");
    addPartition(garbled, "sdm1", 8, 193);
    put(garbled / "sdm1/dev", "8:x\n");

    auto m = createMachine();
    const auto s = m->read();
    const std::map<std::string, std::string> reasons = {
        {"sda", "it is not on USB"},
        {"sdb", ""},
        {"sdc", "a partition is mounted at /media/stick"},
        {"sdd", "it holds swap space (/dev/sdd2)"},
        {"sde", "it holds the root file system"},
        {"sdf", "it holds the boot file system (/boot/efi)"},
        {"sdg", "it is held by dm-0 (md, dm, LVM or loop)"},
        {"sdh", "it has no medium"},
        {"sdi", "sysfs cannot be trusted for it: its size is not a valid sector count"},
        {"sdj", "it is used by loop device loop0 (over /dev/sdj)"},
        {"sdk", "it is used by loop device loop1 (over /dev/sdk2)"},
        {"sdl", ""},
        {"sdm", "sysfs cannot be trusted for it: partition sdm1 has no valid device number"}};
    for (const auto& [name, why] : reasons) {
        const machine::Disk* d = slotOf(*s, name);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_NE(d->slot, 0) << name;
        EXPECT_EQ(d->hostRefusal, why) << name;
        EXPECT_EQ(d->present, why.empty()) << name;
    }
    EXPECT_FALSE(s->disks[0].host);
    EXPECT_TRUE(s->disks[0].present);
    const std::string listed = machine::describe(*m, *s);
    EXPECT_NE(listed.find("refused: a partition is mounted at /media/stick"), std::string::npos) << listed;
    const machine::Disk* free = slotOf(*s, "sdb");
    EXPECT_EQ(free->vendor, "ORVANE");
    EXPECT_EQ(free->product, "Appliance Disk");
    EXPECT_EQ(free->vid, 0x1209);
    EXPECT_EQ(free->pid, 0x4F43);
    EXPECT_EQ(free->size, 131072ull * 512);
}

TEST_F(HostDisks, SwitchingHostDisksSwapsWhichUsbDisksArePresent)
{
    addDisk("sdb", "1-1", "FREE0001");
    auto m = machine::Machine::create(root_ / "machine");
    const auto presentKinds = [&] {
        machine::followHostDisks(*m);
        std::string kinds;
        for (const auto& d : m->read()->disks)
            if (d.present)
                kinds += d.system ? 's' : d.host ? 'h' : 'e';
        return kinds;
    };
    EXPECT_EQ(presentKinds(), "se");  // off: the host is not looked at
    machine::setSetting(*m, "host_disks", "on");
    EXPECT_EQ(presentKinds(), "sh");  // the emulated USB disk must not pass for the appliance
    machine::setSetting(*m, "host_disks", "off");
    EXPECT_EQ(presentKinds(), "s");
    machine::plug(*m, 1);
    EXPECT_EQ(presentKinds(), "se");
}

TEST_F(HostDisks, DiskKeepsItsSlotWhileGoneAndWhenBackUnderAnotherName)
{
    addDisk("sdb", "1-1", "KEEP0001");
    addDisk("sdc", "1-2", "");  // no serial: known by its port
    auto m = createMachine();
    const int kept = slotOf(*m->read(), "sdb")->slot;
    const int byPort = slotOf(*m->read(), "sdc")->slot;

    fs::remove(root_ / "sys/block/sdb");
    fs::remove(root_ / "sys/block/sdc");
    machine::followHostDisks(*m);
    EXPECT_FALSE(m->read()->disks[static_cast<std::size_t>(kept)].present);
    EXPECT_FALSE(m->read()->disks[static_cast<std::size_t>(byPort)].present);

    const fs::path block = fs::canonical(root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb");
    fs::rename(block, block.parent_path() / "sdk");
    fs::rename(root_ / "dev/sdb", root_ / "dev/sdk");
    fs::create_directory_symlink(block.parent_path() / "sdk", root_ / "sys/block/sdk");
    fs::create_directory_symlink(
        root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdc",
        root_ / "sys/block/sdc");
    machine::followHostDisks(*m);
    const auto s = m->read();
    ASSERT_NE(slotOf(*s, "sdk"), nullptr);
    EXPECT_EQ(slotOf(*s, "sdk")->slot, kept);
    EXPECT_TRUE(slotOf(*s, "sdk")->present);
    EXPECT_EQ(slotOf(*s, "sdc")->slot, byPort);
    EXPECT_TRUE(slotOf(*s, "sdc")->present);
    EXPECT_EQ(s->disks.size(), 3u);
}

TEST_F(HostDisks, WritingIsRefusedOnceTheHostMountsTheDisk)
{
    const fs::path block = addDisk("sdb", "1-1", "LATE0001");
    addPartition(block, "sdb1", 8, 17);
    auto m = createMachine();
    const machine::Disk disk = *slotOf(*m->read(), "sdb");
    const int fd = machine::openBacking(*m, disk, O_RDWR);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        ::close(fd);
    mount("8:17", "/media/late");
    errno = 0;
    EXPECT_EQ(machine::openBacking(*m, disk, O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_NE(machine::backingProblem(*m, disk).find("mounted at /media/late"), std::string::npos);
}

TEST_F(HostDisks, AUserWithoutTheRightIsToldToBeRootOrInGroupDisk)
{
    addDisk("sdb", "1-1", "PERM0001", 131072, true);  // a block node only root may open, where loops can be had
    auto m = createMachine();
    const machine::Disk disk = *slotOf(*m->read(), "sdb");
    ASSERT_TRUE(disk.present) << disk.hostRefusal;
    fs::permissions(root_, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    const auto before = fs::last_write_time(disk.backing);
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                std::_Exit(2);
            const int fd = machine::openBacking(*m, disk, O_RDWR);
            std::_Exit(fd < 0 && errno == EACCES ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "cannot open .*/dev/sdb: Permission denied; run as root or as a member of group disk");
    EXPECT_EQ(fs::last_write_time(disk.backing), before);
}

TEST_F(HostDisks, RawWritesReachTheLoopDeviceThroughTheMachinesFaultsAndLog)
{
    addDisk("sdb", "1-1", "LOOP0001", 131072, true);
    const std::string loopNode = tree_.loopNode();
    if (loopNode.empty())
        GTEST_SKIP() << "no loop device could be set up here (not root, or no loop driver); "
                        "raw writes to a host block device were not tried";
    auto m = createMachine();
    const machine::Disk* d = slotOf(*m->read(), "sdb");
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->present) << d->hostRefusal;
    ASSERT_TRUE(d->blockDevice);
    const int slot = d->slot, number = d->number;  // d goes with the state the settings replace
    machine::setDiskSetting(*m, slot, "write_log", "on");
    machine::setDiskSetting(*m, slot, "fail_write_at", "300");
    const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(number);
    win::HANDLE h = win::CreateFileA(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                                     win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING, 0,
                                     nullptr);
    ASSERT_NE(h, win::INVALID_HANDLE_VALUE) << win::GetLastError();
    const std::string bytes(1025, 'K');
    win::OVERLAPPED at{};
    at.Offset = 0x24400;
    win::DWORD done = 0;
    EXPECT_TRUE(win::WriteFile(h, bytes.data() + 1, 1024, &done, &at));  // unaligned: through the page cache
    const std::string node = (root_ / "dev/sdb").string();
    EXPECT_FALSE(directOpenOn(node));
    std::unique_ptr<char, decltype(&std::free)> aligned(static_cast<char*>(std::aligned_alloc(4096, 4096)), &std::free);
    std::memset(aligned.get(), 'D', 4096);
    at.Offset = 0x100000;
    EXPECT_TRUE(win::WriteFile(h, aligned.get(), 4096, &done, &at));
    EXPECT_TRUE(directOpenOn(node)) << "an aligned write did not bypass the page cache";
    std::memset(aligned.get(), 0, 4096);
    EXPECT_TRUE(win::ReadFile(h, aligned.get(), 4096, &done, &at));
    EXPECT_EQ(std::string(aligned.get(), 4096), std::string(4096, 'D'));
    at.Offset = 300 * 512;
    EXPECT_FALSE(win::WriteFile(h, bytes.data(), 512, &done, &at));
    win::CloseHandle(h);
    EXPECT_FALSE(directOpenOn(node)) << "the direct descriptor outlived its handle";

    std::string onDisk(1024, '\0');
    const int fd = ::open(loopNode.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, onDisk.data(), 1024, 0x24400), 1024);
    std::string faulted(512, '\0');
    EXPECT_EQ(::pread(fd, faulted.data(), 512, 300 * 512), 512);
    ::close(fd);
    EXPECT_EQ(onDisk, std::string(1024, 'K'));
    EXPECT_EQ(faulted, std::string(512, '\0'));
    std::ifstream log(m->dir() / ("disk" + std::to_string(slot) + "-writes.log"));
    std::string first;
    std::getline(log, first);
    EXPECT_EQ(first, "290 2 io");
}

// A tree is followed only while nobody but the user (or root) could have
// made it: root would otherwise write the disks and files it names.
TEST_F(HostDisks, ATreeAnotherUserCouldChangeIsNotFollowedAtAll)
{
    addDisk("sdb", "1-1", "OWNED001");
    auto m = createMachine();
    const machine::Disk disk = *slotOf(*m->read(), "sdb");
    ASSERT_TRUE(disk.present) << disk.hostRefusal;
    EXPECT_EQ(machine::hostDisksProblem(), "");
    const auto untouched = fs::last_write_time(disk.backing);

    ASSERT_EQ(::chown(root_.c_str(), 65534, 65534), 0);
    const std::string why = machine::hostDisksProblem();
    EXPECT_EQ(why, "ORVANE_HOST_SYSFS=" + (root_ / "sys").string() + " is not safe to use: " + root_.string() +
                       " is owned by uid 65534, not by you (uid 0) or root");
    errno = 0;
    EXPECT_EQ(machine::openBacking(*m, disk, O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(machine::backingProblem(*m, disk), "host disks are not followed: " + why);
    EXPECT_THROW(machine::restartUsb(*m, "USB\\VID_1209&PID_4F43"), machine::MachineError);
    machine::followHostDisks(*m);
    EXPECT_FALSE(m->read()->disks[static_cast<std::size_t>(disk.slot)].present);
    EXPECT_EQ(m->read()->disks[static_cast<std::size_t>(disk.slot)].hostRefusal, "host disks are not followed: " + why);

    // Writable by others is as bad as owned by them; /tmp above, root's and
    // sticky, is not.
    ASSERT_EQ(::chown(root_.c_str(), 0, 0), 0);
    fs::permissions(root_, fs::perms::all);
    EXPECT_NE(machine::hostDisksProblem().find(root_.string() + " is writable by others (mode 0777)"), std::string::npos);
    fs::permissions(root_, fs::perms::owner_all);
    EXPECT_EQ(machine::hostDisksProblem(), "");

    // Reached through a link in /tmp: followed while the link is the
    // user's or root's, never through another user's.
    const fs::path link = root_.string() + "-link";
    fs::create_directory_symlink(root_, link);
    ::setenv("ORVANE_HOST_SYSFS", (link / "sys").c_str(), 1);
    EXPECT_EQ(machine::hostDisksProblem(), "");
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    EXPECT_NE(machine::hostDisksProblem().find(link.string() + " is a symbolic link owned by uid 65534"),
              std::string::npos)
        << machine::hostDisksProblem();
    ::setenv("ORVANE_HOST_SYSFS", (root_ / "sys").c_str(), 1);
    fs::remove(link);
    machine::followHostDisks(*m);
    EXPECT_TRUE(m->read()->disks[static_cast<std::size_t>(disk.slot)].present);
    EXPECT_EQ(fs::last_write_time(disk.backing), untouched);
}

// Inside a tree of the user's own, every entry that is used is checked too:
// a node, a folder, a link or a table another user could change refuses
// what depends on it, and nothing else.
TEST_F(HostDisks, EntriesOfTheTreeOthersCouldChangeRefuseWhatTheyDescribe)
{
    addDisk("sdb", "1-1", "CLEAN001");
    addDisk("sdc", "1-2", "NODE0001");
    ASSERT_EQ(::chown((root_ / "dev/sdc").c_str(), 65534, 65534), 0);
    addDisk("sdd", "1-3", "FOLDER01");
    const fs::path usbDevice = fs::canonical(root_ / "sys/bus/usb/devices/1-3");
    fs::permissions(usbDevice, fs::perms::all);
    const fs::path relinked = addDisk("sde", "1-4", "LINK0001");
    fs::remove(root_ / "sys/block/sde");
    fs::create_directory_symlink(relinked, root_ / "sys/block/sde");
    ASSERT_EQ(::lchown((root_ / "sys/block/sde").c_str(), 65534, 65534), 0);

    auto m = createMachine();
    const auto s = m->read();
    EXPECT_EQ(slotOf(*s, "sdb")->hostRefusal, "");
    EXPECT_TRUE(slotOf(*s, "sdb")->present);
    const std::string prefix = "the host tree cannot be trusted for it: ";
    EXPECT_EQ(slotOf(*s, "sdc")->hostRefusal,
              prefix + (root_ / "dev/sdc").string() + " is owned by uid 65534, not by you (uid 0) or root");
    EXPECT_EQ(slotOf(*s, "sdd")->hostRefusal, prefix + usbDevice.string() + " is writable by others (mode 0777)");
    EXPECT_EQ(slotOf(*s, "sde")->hostRefusal, prefix + (root_ / "sys/block/sde").string() +
                                                  " is a symbolic link owned by uid 65534, not by you (uid 0) or root");
    for (const char* name : {"sdc", "sdd", "sde"})
        EXPECT_FALSE(slotOf(*s, name)->present) << name;

    // The tables that say what the host uses.
    fs::permissions(root_ / "proc/self/mountinfo", fs::perms::others_write, fs::perm_options::add);
    machine::followHostDisks(*m);
    EXPECT_NE(slotOf(*m->read(), "sdb")->hostRefusal.find("the mount table cannot be trusted: " +
                                                          (root_ / "proc/self/mountinfo").string() + " is writable by others"),
              std::string::npos)
        << slotOf(*m->read(), "sdb")->hostRefusal;
    EXPECT_FALSE(slotOf(*m->read(), "sdb")->present);
}

// The restart writes the authorized file the tree names: never one reached
// through another user's link.
TEST_F(HostDisks, RestartNeverWritesAnAuthorizedFileReachedThroughAnotherUsersLink)
{
    addDisk("sdb", "1-1", "HUB00002");
    auto m = createMachine();
    const fs::path elsewhere = root_ / "elsewhere";
    fs::create_directories(elsewhere);
    put(elsewhere / "authorized", "1\n");
    const fs::path port = root_ / "sys/bus/usb/devices/1-1";
    fs::remove(port);
    fs::create_directory_symlink(elsewhere, port);
    ASSERT_EQ(::lchown(port.c_str(), 65534, 65534), 0);
    try {
        machine::restartUsb(*m, "USB\\VID_1209&PID_4F43");
        ADD_FAILURE() << "the restart went through another user's link";
    } catch (const machine::MachineError& e) {
        EXPECT_NE(std::string(e.what()).find("the authorized file cannot be trusted: " + port.string() +
                                             " is a symbolic link owned by uid 65534"),
                  std::string::npos)
            << e.what();
    }
    std::ifstream in(elsewhere / "authorized");
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "1");
}

TEST_F(HostDisks, RestartResetsTheUsbDeviceAndFindsItAgainUnderItsNewName)
{
    addDisk("sdb", "1-1", "HUB00001");
    auto m = createMachine();
    const int slot = slotOf(*m->read(), "sdb")->slot;
    tree_.startHub("1-1", "sdb", "sdm");
    EXPECT_EQ(machine::restartUsb(*m, "USB\\VID_1209&PID_4F43"), 1);
    EXPECT_FALSE(m->read()->disks[static_cast<std::size_t>(slot)].present);
    // The restart ends once the host has the disk again: the next
    // enumeration finds it, with no waiting of its own.
    machine::followHostDisks(*m);
    const machine::Disk* back = slotOf(*m->read(), "sdm");
    ASSERT_NE(back, nullptr) << "the disk was not back when the restart ended";
    EXPECT_TRUE(back->present);
    tree_.stopHub();
    EXPECT_EQ(tree_.hubWrites(), "01");
    EXPECT_EQ(back->slot, slot);
    EXPECT_EQ(m->read()->disks.size(), 2u);
}

}  // namespace
