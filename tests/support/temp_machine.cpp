#include "support/temp_machine.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

std::string buildDir() { return ORVANE_BUILD_DIR; }

std::string fingerprintFile(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "unreadable";
    const off_t size = ::lseek(fd, 0, SEEK_END);
    std::uint64_t hash = 1469598103934665603ull;
    std::vector<unsigned char> buf(1 << 16);
    off_t pos = 0;
    while (pos < size) {
        off_t data = ::lseek(fd, pos, SEEK_DATA);
        if (data < 0)
            break;
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        for (off_t at = data; at < hole;) {
            const ssize_t n = ::pread(fd, buf.data(), std::min<off_t>(buf.size(), hole - at), at);
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i)
                if (buf[i]) {  // zeros written into a hole read the same as the hole
                    hash = (hash ^ static_cast<std::uint64_t>(at + i)) * 1099511628211ull;
                    hash = (hash ^ buf[i]) * 1099511628211ull;
                }
            at += n;
        }
        pos = hole;
    }
    ::close(fd);
    return std::to_string(size) + ":" + std::to_string(hash);
}

int runCommand(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> chunk{};
    std::string text;
    while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        text.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TempMachine::SetUp()
{
    char pattern[] = "/tmp/orvane-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = fs::path(pattern) / "machine";
    machine_ = machine::Machine::create(dir_);
    machine::setSetting(*machine_, "time_scale", "0.001");
    machine::select(dir_);
    ::setenv("KX_MACHINE", dir_.c_str(), 1);
    guardedPrints_[0] = fingerprintFile(diskImage(0));
}

void TempMachine::chooseDisk(int slot)
{
    const auto disks = state()->disks;
    for (const auto& d : disks)
        if (d.slot != slot && !guardedPrints_.count(d.slot))
            guardedPrints_[d.slot] = fingerprintFile(machine_->backingPath(d));
    if (slot != 0)
        guardedPrints_.erase(slot);
}


void TempMachine::TearDown()
{
    for (const auto& [slot, print] : guardedPrints_)
        EXPECT_EQ(fingerprintFile(diskImage(slot)), print)
            << (slot == 0 ? "the system disk was written" : "disk " + std::to_string(slot) + " was written, not the chosen one");
    std::error_code ec;
    fs::remove_all(dir_.parent_path(), ec);
}

fs::path TempMachine::diskImage(int slot)
{
    return machine_->backingPath(machine_->read()->disks.at(static_cast<size_t>(slot)));
}

void TempMachine::partitionWithSfdisk(int slot, const std::string& script)
{
    const std::string cmd = "printf '" + script + "' | sfdisk --no-reread --no-tell-kernel -q " + diskImage(slot).string();
    std::string out;
    ASSERT_EQ(runCommand(cmd, &out), 0) << out;
    rescan(slot);
}

void TempMachine::rescan(int slot)
{
    machine_->update([&](machine::State& s) { machine::rescanPartitions(*machine_, s, machine::diskBySlot(s, slot)); });
}

}  // namespace testing_support
