// orvane-machine: making machines and changing their disks.
#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "platform/win_api.h"
#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using tools_testing::runTool;
using tools_testing::shellQuote;

// A loop device over a sparse file (or over another device), detached at
// the end; node is empty where none can be had.
struct LoopDevice {
    explicit LoopDevice(const fs::path& over, const std::string& size = "")
    {
        if (!size.empty() && testing_support::runCommand("truncate -s " + size + " " + over.string()) != 0)
            return;
        std::string out;
        if (testing_support::runCommand("losetup --find --show " + over.string() + " 2>/dev/null", &out) == 0 &&
            out.rfind("/dev/loop", 0) == 0)
            node = out.substr(0, out.find('\n'));
    }
    ~LoopDevice()
    {
        if (!node.empty())
            testing_support::runCommand("losetup -d " + node);
    }
    std::string node;
};

// The device's file system, mounted at point until the end.
struct Mounted {
    Mounted(const std::string& device, const fs::path& at) : point(at)
    {
        fs::create_directories(point);
        ok = testing_support::runCommand("mount " + device + " " + point.string() + " 2>&1") == 0;
    }
    ~Mounted()
    {
        if (ok)
            testing_support::runCommand("umount " + point.string());
    }
    fs::path point;
    bool ok = false;
};

class OrvaneMachineTool : public testing_support::TempMachine {
protected:
    tools_testing::ToolRun tool(const std::vector<std::string>& args, const std::string& env = "")
    {
        return runTool("orvane-machine", args, env);
    }
    // A copy: the cached state it comes from is replaced when another process writes.
    machine::Disk disk(int slot) { return state()->disks.at(static_cast<size_t>(slot)); }
    fs::path scratch() { return dir_.parent_path(); }
};

TEST_F(OrvaneMachineTool, CreateMakesAMachineThatListShowsWhereverMachineIsGiven)
{
    const fs::path other = scratch() / "other";
    auto created = tool({"create", other.string()});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_NE(created.out.find("disk 0: PhysicalDrive0"), std::string::npos) << created.out;
    EXPECT_NE(created.out.find("disk 1: PhysicalDrive1, 8.00 GiB, USB"), std::string::npos) << created.out;
    EXPECT_TRUE(fs::exists(other / "drive_c" / "Windows"));

    const std::string expected = [&] { const auto o = machine::Machine::open(other); return machine::describe(*o, *o->read()); }();
    EXPECT_EQ(tool({"--machine", other.string(), "list"}).out, expected);
    EXPECT_EQ(tool({"list", "--machine", other.string()}).out, expected);
    EXPECT_EQ(tool({"list", "--machine=" + other.string()}).out, expected);
    // KX_MACHINE names the fixture's machine; --machine must win over it.
    ASSERT_EQ(tool({"--machine", other.string(), "unplug", "1"}).code, 0);
    EXPECT_FALSE(machine::Machine::open(other)->read()->disks[1].present);
    EXPECT_TRUE(disk(1).present);

    auto again = tool({"create", other.string()});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
}

TEST_F(OrvaneMachineTool, DefaultMachineIsCreatedOnFirstUseButANamedOneIsNot)
{
    const fs::path xdg = scratch() / "xdg";
    auto listed = tool({"list"}, "-u KX_MACHINE XDG_DATA_HOME=" + shellQuote(xdg.string()));
    ASSERT_EQ(listed.code, 0) << listed.err;
    const fs::path made = xdg / "orvane-config" / "machine";
    ASSERT_TRUE(fs::exists(made / "machine.json"));
    EXPECT_EQ(listed.out, [&] { const auto o = machine::Machine::open(made); return machine::describe(*o, *o->read()); }());

    const fs::path missing = scratch() / "missing";
    auto named = tool({"list"}, "KX_MACHINE=" + shellQuote(missing.string()));
    EXPECT_EQ(named.code, 1);
    EXPECT_NE(named.err.find("no emulated machine"), std::string::npos) << named.err;
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(OrvaneMachineTool, AddDiskTakesEveryOptionAndListNamesTheDisk)
{
    auto added = tool({"add-disk", "--size", "64M", "--vendor", "ACME", "--product", "Card Reader", "--revision",
                       "2.0", "--serial", "XYZ123", "--vid", "0x0bda", "--pid", "129", "--removable",
                       "--friendly-name", "Test Stick"});
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_EQ(added.out, "2\n");

    const machine::Disk d = disk(2);
    EXPECT_TRUE(d.present);
    EXPECT_TRUE(d.usb);
    EXPECT_TRUE(d.removable);
    EXPECT_EQ(d.size, 64ull << 20);
    EXPECT_EQ(d.vid, 0x0BDA);
    EXPECT_EQ(d.pid, 0x0129);
    EXPECT_EQ(machine::usbInstanceId(d), "USB\\VID_0BDA&PID_0129\\XYZ123");
    EXPECT_EQ(fs::file_size(diskImage(2)), 64ull << 20);

    auto listed = tool({"list"});
    EXPECT_NE(listed.out.find("disk 2: PhysicalDrive2, 0.06 GiB, USB, removable"), std::string::npos) << listed.out;
    const std::string instance = machine::diskInstanceId(d);
    EXPECT_EQ(instance.rfind("USBSTOR\\DISK&VEN_ACME&PROD_", 0), 0u) << instance;
    EXPECT_NE(instance.find("\\XYZ123&"), std::string::npos) << instance;
    EXPECT_NE(listed.out.find("\"Test Stick\"  " + instance + "\n"), std::string::npos) << listed.out;
}

TEST_F(OrvaneMachineTool, AddDiskSizesAndBuses)
{
    struct Case {
        std::vector<std::string> args;
        std::uint64_t size;
        bool usb;
    } cases[] = {
        {{"--size", "512"}, 512, true},
        {{"--size", "4k"}, 4096, true},
        {{"--size=3MiB"}, 3ull << 20, true},
        {{"--size", "2G", "--fixed-bus"}, 2ull << 30, false},
        {{"--size", "1T", "--usb"}, 1ull << 40, true},
        {{}, 8ull << 30, true},
    };
    int slot = 2;
    for (const auto& c : cases) {
        std::vector<std::string> args{"add-disk"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto added = tool(args);
        ASSERT_EQ(added.code, 0) << added.err;
        EXPECT_EQ(disk(slot).size, c.size) << args[1];
        EXPECT_EQ(disk(slot).usb, c.usb) << args[1];
        ++slot;
    }
    EXPECT_NE(tool({"list"}).out.find("disk 5: PhysicalDrive5, 2.00 GiB, fixed"), std::string::npos);
    EXPECT_EQ(machine::diskInstanceId(disk(5)).rfind("SCSI\\", 0), 0u);
}

TEST_F(OrvaneMachineTool, AddDiskOnAnImageFileInsideTheMachinePublishesItsTable)
{
    const fs::path image = dir_ / "stick.img";
    ASSERT_EQ(testing_support::runCommand("truncate -s 32M " + image.string() +
                                          " && printf 'label: dos\\nstart=2048, type=c\\n' | sfdisk -q " +
                                          image.string()),
              0);
    // Relative to where the tool runs, not to the machine folder; kept relative to the machine.
    auto added = tool({"add-disk", "--backing", "stick.img"}, "-C " + shellQuote(dir_.string()));
    ASSERT_EQ(added.code, 0) << added.err;
    const machine::Disk d = disk(2);
    EXPECT_EQ(d.size, 32ull << 20);
    EXPECT_FALSE(d.blockDevice);
    EXPECT_EQ(d.backing, "stick.img");
    ASSERT_EQ(d.partitions.size(), 1u);
    EXPECT_EQ(d.partitions[0].type, 0x0C);
    EXPECT_EQ(d.partitions[0].offset, 2048u * 512);
    EXPECT_EQ(tool({"disk-path", "2"}).out, image.string() + "\n");

    auto shared = tool({"add-disk", "--backing", image.string()});
    EXPECT_EQ(shared.code, 1);
    EXPECT_NE(shared.err.find("already belongs to disk 2"), std::string::npos) << shared.err;
    auto tooBig = tool({"add-disk", "--backing", diskImage(1).string(), "--size", "16G"});
    EXPECT_EQ(tooBig.code, 1);
    const fs::path outside = scratch() / "elsewhere.img";
    ASSERT_EQ(testing_support::runCommand("truncate -s 8M " + outside.string()), 0);
    auto refused = tool({"add-disk", "--backing", outside.string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("lies outside the machine folder"), std::string::npos) << refused.err;
    EXPECT_EQ(state()->disks.size(), 3u);
}

// A damaged state naming a backing outside the machine, or one cut short,
// or one that is gone: the disk is not used, never written or grown, and
// the listing says why.
TEST_F(OrvaneMachineTool, BackingsTheMachineMayNotUseAreLeftAlone)
{
    const fs::path outside = scratch() / "host-file";
    ASSERT_EQ(testing_support::runCommand("printf 'keep me' > " + outside.string()), 0);
    ASSERT_EQ(tool({"unplug", "1"}).code, 0);
    m().update([&](machine::State& s) { s.disks[1].backing = outside.string(); });
    auto plug = tool({"plug", "1"});
    EXPECT_EQ(plug.code, 1);
    EXPECT_NE(plug.err.find("lies outside the machine folder"), std::string::npos) << plug.err;
    m().update([&](machine::State& s) { machine::arriveDisk(m(), s, s.disks[1]); });  // as a damaged file would say
    const win::HANDLE h = win::CreateFileA("\\\\.\\PhysicalDrive1", win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                           nullptr, win::OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, win::INVALID_HANDLE_VALUE) << "opened a host file as a disk";
    EXPECT_NE(tool({"list"}).out.find("not usable: backing " + outside.string() + " lies outside the machine folder"),
              std::string::npos);
    EXPECT_EQ(fs::file_size(outside), 7u);

    m().update([&](machine::State& s) { s.disks[1].backing = "disk1.img"; });
    fs::resize_file(diskImage(1), 1 << 20);
    EXPECT_NE(tool({"list"}).out.find("holds 1048576 bytes, less than the disk's"), std::string::npos);
    fs::remove(diskImage(1));
    EXPECT_NE(tool({"list"}).out.find("backing " + (dir_ / "disk1.img").string() + " is gone"), std::string::npos);
}

TEST_F(OrvaneMachineTool, AddDiskOnABlockDeviceTakesTheDeviceSize)
{
    const fs::path image = scratch() / "loop.img";
    std::string loop;
    if (testing_support::runCommand("truncate -s 20M " + image.string() + " && losetup --find --show " +
                                        image.string(),
                                    &loop) != 0)
        GTEST_SKIP() << "no loop device here: " << loop;
    loop.erase(loop.find_last_not_of("\n") + 1);
    auto added = tool({"add-disk", "--backing", loop});
    testing_support::runCommand("losetup -d " + loop);
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_TRUE(disk(2).blockDevice);
    EXPECT_EQ(disk(2).size, 20ull << 20);
    EXPECT_EQ(disk(2).backing, loop);
}

// A block device the host uses is refused when added, and, once added, at
// every open for writing: mounted, under a loop device, or held
// exclusively by another program.
TEST_F(OrvaneMachineTool, ABlockDeviceTheHostUsesIsNeitherAddedNorWritten)
{
    LoopDevice device(scratch() / "ext4.img", "24M");
    if (device.node.empty() || testing_support::runCommand("mkfs.ext4 -q " + device.node + " 2>&1") != 0)
        GTEST_SKIP() << "no loop device with a file system here";
    {
        Mounted mounted(device.node, scratch() / "mnt");
        ASSERT_TRUE(mounted.ok);
        auto refused = tool({"add-disk", "--backing", device.node});
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.find("backing " + device.node + " is refused: it is mounted at " + mounted.point.string()),
                  std::string::npos)
            << refused.err;
    }
    {
        LoopDevice over(device.node);
        ASSERT_FALSE(over.node.empty());
        auto refused = tool({"add-disk", "--backing", device.node});
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.find("is refused: it is used by loop device " + fs::path(over.node).filename().string() +
                                   " (over " + device.node + ")"),
                  std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(state()->disks.size(), 2u);

    auto added = tool({"add-disk", "--backing", device.node});
    ASSERT_EQ(added.code, 0) << added.err;
    const std::string drive = "\\\\.\\PhysicalDrive" + std::to_string(disk(2).number);
    const auto openForWriting = [&] {
        const win::HANDLE h = win::CreateFileA(drive.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                                               win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                               win::OPEN_EXISTING, 0, nullptr);
        if (h == win::INVALID_HANDLE_VALUE)
            return false;
        win::CloseHandle(h);
        return true;
    };
    {
        Mounted mounted(device.node, scratch() / "mnt");
        ASSERT_TRUE(mounted.ok);
        EXPECT_FALSE(openForWriting()) << "a mounted file system's device was opened for writing";
        EXPECT_NE(tool({"list"}).out.find("not usable: backing " + device.node + " is refused: it is mounted at " +
                                          mounted.point.string()),
                  std::string::npos);
    }
    {
        const int exclusive = ::open(device.node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
        ASSERT_GE(exclusive, 0);
        EXPECT_FALSE(openForWriting()) << "opened while another program holds the device exclusively";
        ::close(exclusive);
    }
    EXPECT_TRUE(openForWriting());

    // A job holds it as it holds a host disk: the job's own opens go through
    // its descriptor, another program's exclusive open finds it busy.
    const win::HANDLE job =
        win::CreateFileA(drive.c_str(), 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(job, win::INVALID_HANDLE_VALUE);
    win::DWORD returned = 0;
    EXPECT_TRUE(win::DeviceIoControl(job, win::FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_TRUE(openForWriting());
    const int other = ::open(device.node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    EXPECT_LT(other, 0) << "another program had the device exclusively during the job";
    if (other >= 0)
        ::close(other);
    win::CloseHandle(job);
    EXPECT_EQ(testing_support::runCommand("fsck.ext4 -n " + device.node + " >/dev/null 2>&1"), 0);
}

// A link is never opened as a backing, whichever part of the path it is.
TEST_F(OrvaneMachineTool, ABackingReachedThroughALinkIsRefused)
{
    LoopDevice device(scratch() / "plain.img", "8M");
    if (device.node.empty())
        GTEST_SKIP() << "no loop device here";
    const fs::path devices = scratch() / "devices";
    fs::create_directory_symlink(fs::path(device.node).parent_path(), devices);
    const fs::path throughFolder = devices / fs::path(device.node).filename();
    const fs::path named = scratch() / "appliance";
    fs::create_symlink(device.node, named);
    for (const auto& [path, link] : {std::pair{throughFolder, devices}, {named, named}}) {
        auto refused = tool({"add-disk", "--backing", path.string()});
        EXPECT_EQ(refused.code, 1) << path;
        EXPECT_NE(refused.err.find("backing " + path.string() + " is refused: " + link.string() + " is a symbolic link"),
                  std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(state()->disks.size(), 2u);

    // A state naming the device through a link, as a damaged file would.
    ASSERT_EQ(tool({"add-disk", "--backing", device.node}).code, 0);
    m().update([&](machine::State& s) { s.disks[2].backing = throughFolder.string(); });
    const std::string drive = "\\\\.\\PhysicalDrive" + std::to_string(disk(2).number);
    const win::HANDLE h = win::CreateFileA(drive.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                           win::OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, win::INVALID_HANDLE_VALUE) << "opened a backing through a link";
    if (h != win::INVALID_HANDLE_VALUE)
        win::CloseHandle(h);
    EXPECT_NE(tool({"list"}).out.find("not usable: backing " + throughFolder.string() + " is refused: " +
                                      devices.string() + " is a symbolic link"),
              std::string::npos);
}

TEST_F(OrvaneMachineTool, PlugAndUnplugBySlot)
{
    const auto changes = state()->deviceChanges;
    auto out = tool({"unplug", "1"});
    ASSERT_EQ(out.code, 0) << out.err;
    EXPECT_FALSE(disk(1).present);
    EXPECT_EQ(disk(1).number, -1);
    EXPECT_GT(state()->deviceChanges, changes);
    EXPECT_NE(tool({"list"}).out.find("disk 1: unplugged"), std::string::npos);

    auto twice = tool({"unplug", "1"});
    EXPECT_EQ(twice.code, 1);
    EXPECT_NE(twice.err.find("not plugged in"), std::string::npos) << twice.err;

    out = tool({"plug", "1"});
    ASSERT_EQ(out.code, 0) << out.err;
    EXPECT_EQ(out.out, "disk 1 plugged in as PhysicalDrive1\n");
    EXPECT_TRUE(disk(1).present);
    EXPECT_EQ(tool({"plug", "1"}).code, 1);

    auto system = tool({"unplug", "0"});
    EXPECT_EQ(system.code, 1);
    EXPECT_NE(system.err.find("system disk"), std::string::npos) << system.err;
    auto unknown = tool({"plug", "9"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("no disk 9"), std::string::npos) << unknown.err;
}

TEST_F(OrvaneMachineTool, DiskPathNamesTheBackingOfEachDisk)
{
    // Named where other programs find it, not by this process's descriptor.
    EXPECT_EQ(tool({"disk-path", "0"}).out, (dir_ / "disk0.img").string() + "\n");
    EXPECT_EQ(tool({"disk-path", "1"}).out, (dir_ / "disk1.img").string() + "\n");
    auto unknown = tool({"disk-path", "2"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_TRUE(unknown.out.empty());
    EXPECT_NE(unknown.err.find("no disk 2"), std::string::npos) << unknown.err;
}

}  // namespace
