// What the kernel publishes for a disk: partition devices after a table
// read, volumes, and the letters the mount manager gives them.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "devices/mbr_scan.h"
#include "platform/machine.h"
#include "platform/win_ioctl.h"

namespace machine {

namespace {

// Windows mounts the types it recognises, formatted or RAW; hidden types
// (0x16, 0x17, 0x1B), 0x82 and the rest get no letter.
bool getsLetter(std::uint8_t type) { return win::IsRecognizedPartition(type); }

std::set<char> lettersInUse(const State& state, const Disk& except)
{
    std::set<char> used{'A', 'B', 'C'};
    for (const auto& d : state.disks)
        if (&d != &except && d.present)
            for (const auto& p : d.partitions)
                if (p.letter)
                    used.insert(p.letter);
    // Encrypted volumes hold their letters as long as they are mounted.
    for (const auto& v : state.cryptVolumes)
        used.insert(v.letter);
    return used;
}

std::string mountKey(std::uint32_t signature, std::uint64_t offset)
{
    char key[48];
    std::snprintf(key, sizeof key, "%08X:%llu", signature, static_cast<unsigned long long>(offset));
    return key;
}

char chooseLetter(State& state, const Disk& disk, std::set<char>& used, const std::string& key, bool firstOfSystem)
{
    if (firstOfSystem)
        return 'C';
    if (auto it = state.mountedDevices.find(key); it != state.mountedDevices.end() && !used.count(it->second))
        return it->second;
    for (char c = 'D'; c <= 'Z'; ++c)
        if (!used.count(c))
            return c;
    return 0;
}

}  // namespace

void rescanPartitions(const Machine& m, State& state, Disk& disk)
{
    disk.partitions.clear();
    if (!disk.present)
        return;
    const int fd = machine::openBacking(m, disk, O_RDONLY);
    if (fd < 0)
        return;  // an unreadable medium publishes no partitions
    ScannedTable table = scanMbr(
        [fd](std::uint64_t sector, std::uint8_t* out) {
            return ::pread(fd, out, 512, static_cast<off_t>(sector * 512)) == 512;
        },
        disk.size / 512);
    ::close(fd);

    const double scale = state.settings.timeScale;
    const std::int64_t visibleAt = wallClockMs() + static_cast<std::int64_t>(disk.publishDelayMs * scale);
    const std::int64_t letterAt = visibleAt + static_cast<std::int64_t>(disk.letterDelayMs * scale);
    std::set<char> used = lettersInUse(state, disk);
    int number = 0;
    for (const auto& s : table.partitions) {
        PublishedPartition p;
        p.number = ++number;
        p.offset = s.startSector * 512;
        p.length = s.sectorCount * 512;
        p.hiddenSectors = s.hiddenSectors;
        p.type = s.type;
        p.boot = s.boot;
        p.volume = state.nextVolume++;
        p.visibleAtMs = visibleAt;
        p.letterAtMs = letterAt;
        if (getsLetter(s.type)) {
            const std::string key = mountKey(table.signature, p.offset);
            p.letter = chooseLetter(state, disk, used, key, disk.system && number == 1);
            if (p.letter) {
                used.insert(p.letter);
                state.mountedDevices[key] = p.letter;
            }
        }
        disk.partitions.push_back(p);
    }
}

const Disk* diskByNumber(const State& state, int number)
{
    for (const auto& d : state.disks)
        if (d.present && d.number == number)
            return &d;
    return nullptr;
}

Disk& diskBySlot(State& state, int slot)
{
    if (slot < 0 || slot >= static_cast<int>(state.disks.size()))
        throw MachineError("no disk " + std::to_string(slot) + " in this machine (it has " +
                           std::to_string(state.disks.size()) + ")");
    return state.disks[static_cast<size_t>(slot)];
}

}  // namespace machine
