// From a name after \\.\ (PhysicalDriveN, a DOS device name, a letter) or a
// kernel path to the disk or partition it stands for right now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace win::detail {

struct DeviceTarget {
    int slot = -1;          // disk slot in the machine
    int diskNumber = -1;
    int partition = 0;      // 0: the whole disk
    std::uint64_t offset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;
    std::uint64_t arrival = 0;
};

// Kernel paths: \Device\HarddiskN\PartitionM, \Device\HarddiskVolumeK,
// \Device\HarddiskN\DRN. Partitions not yet published are not found.
std::optional<DeviceTarget> resolveKernelPath(const machine::State& state, std::string_view path);
// A name as CreateFile sees it after \\.\ .
std::optional<DeviceTarget> resolveDeviceName(const machine::State& state, std::string_view name);
// The kernel target a DOS name stands for (DefineDosDevice first, then the
// letters the mount manager gave).
std::optional<std::string> dosDeviceTarget(const machine::State& state, std::string_view name);
bool partitionVisible(const machine::PublishedPartition& p);
bool letterVisible(const machine::PublishedPartition& p);
std::string volumePath(int volume);

}  // namespace win::detail
