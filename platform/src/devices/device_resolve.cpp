#include "devices/device_resolve.h"

#include <cctype>
#include <cstdlib>

#include "text/text_util.h"

namespace win::detail {

namespace {

constexpr const char* kCryptVolumePrefix = "\\Device\\KxCryptVolume";

// Parses a decimal number at the front of text; the rest goes to tail.
std::optional<int> number(std::string_view text, std::string_view* tail)
{
    size_t i = 0;
    while (i < text.size() && i < 9 && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == 0)
        return std::nullopt;
    *tail = text.substr(i);
    return std::atoi(std::string(text.substr(0, i)).c_str());
}

DeviceTarget wholeDisk(const machine::Disk& d)
{
    return {d.slot, d.number, 0, 0, d.size, d.arrival};
}

DeviceTarget partitionOf(const machine::Disk& d, const machine::PublishedPartition& p)
{
    return {d.slot, d.number, p.number, p.offset, p.length, d.arrival};
}

std::optional<DeviceTarget> byDiskAndPartition(const machine::State& state, int disk, int partition)
{
    const machine::Disk* d = machine::diskByNumber(state, disk);
    if (!d)
        return std::nullopt;
    if (partition == 0)
        return wholeDisk(*d);
    for (const auto& p : d->partitions)
        if (p.number == partition && partitionVisible(p))
            return partitionOf(*d, p);
    return std::nullopt;
}

std::optional<DeviceTarget> byVolume(const machine::State& state, int volume)
{
    for (const auto& d : state.disks)
        if (d.present)
            for (const auto& p : d.partitions)
                if (p.volume == volume && partitionVisible(p))
                    return partitionOf(d, p);
    return std::nullopt;
}

}  // namespace

bool partitionVisible(const machine::PublishedPartition& p) { return machine::wallClockMs() >= p.visibleAtMs; }

bool letterVisible(const machine::PublishedPartition& p)
{
    return p.letter != 0 && machine::wallClockMs() >= p.letterAtMs;
}

std::string volumePath(int volume) { return "\\Device\\HarddiskVolume" + std::to_string(volume); }

std::string cryptVolumePath(char letter) { return kCryptVolumePrefix + std::string(1, letter); }

std::optional<DeviceTarget> cryptVolumeTarget(const machine::State& state, char letter)
{
    const machine::CryptVolume* v = machine::cryptVolumeOn(state, letter);
    if (!v || v->slot < 0 || v->slot >= static_cast<int>(state.disks.size()))
        return std::nullopt;
    const machine::Disk& d = state.disks[static_cast<size_t>(v->slot)];
    if (!d.present || d.arrival != v->diskArrival || v->partitionOffset + v->dataOffset + v->dataLength > d.size)
        return std::nullopt;
    DeviceTarget t{d.slot, d.number, v->partition, v->partitionOffset + v->dataOffset, v->dataLength, d.arrival};
    t.cryptLetter = v->letter;
    t.cryptMount = v->mountStamp;
    return t;
}

DWORD logicalDriveMask(const machine::State& state, const machine::DosNames& names)
{
    DWORD mask = 1u << ('C' - 'A');
    for (const auto& d : state.disks)
        if (d.present)
            for (const auto& p : d.partitions)
                if (letterVisible(p) && partitionVisible(p))
                    mask |= 1u << (p.letter - 'A');
    for (const auto& [name, t] : names)
        if (name.size() == 2 && name[1] == ':' && name[0] >= 'A' && name[0] <= 'Z')
            mask |= 1u << (name[0] - 'A');
    for (const auto& v : state.cryptVolumes)
        mask |= 1u << (v.letter - 'A');
    return mask;
}

std::optional<DeviceTarget> resolveKernelPath(const machine::State& state, std::string_view path)
{
    using machine::startsWithNoCase;
    std::string_view tail;
    if (startsWithNoCase(path, kCryptVolumePrefix)) {
        const std::string_view rest = path.substr(std::string_view(kCryptVolumePrefix).size());
        if (rest.size() != 1)
            return std::nullopt;
        return cryptVolumeTarget(state, static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0]))));
    }
    if (startsWithNoCase(path, "\\Device\\HarddiskVolume")) {
        auto volume = number(path.substr(22), &tail);
        if (!volume || !tail.empty())
            return std::nullopt;
        return byVolume(state, *volume);
    }
    if (!startsWithNoCase(path, "\\Device\\Harddisk"))
        return std::nullopt;
    auto disk = number(path.substr(16), &tail);
    if (!disk)
        return std::nullopt;
    if (startsWithNoCase(tail, "\\Partition")) {
        std::string_view rest;
        auto partition = number(tail.substr(10), &rest);
        if (!partition || !rest.empty())
            return std::nullopt;
        return byDiskAndPartition(state, *disk, *partition);
    }
    if (startsWithNoCase(tail, "\\DR")) {
        std::string_view rest;
        auto dr = number(tail.substr(3), &rest);
        if (!dr || !rest.empty())
            return std::nullopt;
        return byDiskAndPartition(state, *dr, 0);
    }
    return std::nullopt;
}

std::optional<std::string> dosDeviceTarget(const machine::State& state, const machine::DosNames& names,
                                           std::string_view name)
{
    const std::string key = machine::toUpper(name);
    if (auto it = names.find(key); it != names.end() && !it->second.empty())
        return it->second.front();
    if (key.size() == 2 && key[1] == ':') {
        if (machine::cryptVolumeOn(state, key[0]))
            return cryptVolumePath(key[0]);
        for (const auto& d : state.disks)
            if (d.present)
                for (const auto& p : d.partitions)
                    if (p.letter == key[0] && letterVisible(p) && partitionVisible(p))
                        return volumePath(p.volume);
        return std::nullopt;
    }
    std::string_view tail;
    if (machine::startsWithNoCase(name, "PhysicalDrive")) {
        auto n = number(name.substr(13), &tail);
        if (n && tail.empty() && machine::diskByNumber(state, *n))
            return "\\Device\\Harddisk" + std::to_string(*n) + "\\DR" + std::to_string(*n);
    }
    return std::nullopt;
}

std::optional<DeviceTarget> resolveDeviceName(const machine::State& state, const machine::DosNames& names,
                                              std::string_view name)
{
    std::string current(name);
    // A DOS name without a raw target path points at another DOS name; the
    // hop limit stops names defined in a circle.
    for (int hops = 0; hops < 8; ++hops) {
        auto target = dosDeviceTarget(state, names, current);
        if (!target)
            return std::nullopt;
        if (!machine::startsWithNoCase(*target, "\\??\\"))
            return resolveKernelPath(state, *target);
        current = target->substr(4);
    }
    return std::nullopt;
}

}  // namespace win::detail

namespace machine {

const CryptVolume* cryptVolumeOn(const State& state, char letter)
{
    for (const auto& v : state.cryptVolumes)
        if (v.letter == letter)
            return &v;
    return nullptr;
}

}  // namespace machine
