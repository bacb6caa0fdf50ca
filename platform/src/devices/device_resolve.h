// From a name after \\.\ (PhysicalDriveN, a DOS device name, a letter) or a
// kernel path to the disk or partition it stands for right now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/machine.h"
#include "platform/win_types.h"

namespace win::detail {

struct DeviceTarget {
    int slot = -1;          // disk slot in the machine
    int diskNumber = -1;
    int partition = 0;      // 0: the whole disk
    std::uint64_t offset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;
    std::uint64_t arrival = 0;
    // A volume the encryption driver mounted on this letter: offset and
    // length give its data area on the disk, partition the one under it.
    char cryptLetter = 0;
    std::uint64_t cryptMount = 0;  // the mount's stamp
};

// Kernel paths: \Device\HarddiskN\PartitionM, \Device\HarddiskVolumeK,
// \Device\HarddiskN\DRN. Partitions not yet published are not found.
std::optional<DeviceTarget> resolveKernelPath(const machine::State& state, std::string_view path);
// A name as CreateFile sees it after \\.\ . The DOS names come apart from
// the state (Machine::readDosNames), which then need not hold them.
std::optional<DeviceTarget> resolveDeviceName(const machine::State& state, const machine::DosNames& names,
                                              std::string_view name);
// The kernel target a DOS name stands for (DefineDosDevice first, then the
// letters the mount manager gave).
std::optional<std::string> dosDeviceTarget(const machine::State& state, const machine::DosNames& names,
                                           std::string_view name);
bool partitionVisible(const machine::PublishedPartition& p);
bool letterVisible(const machine::PublishedPartition& p);
std::string volumePath(int volume);
// The kernel path of an encrypted volume's device.
std::string cryptVolumePath(char letter);
// The view of the volume mounted on letter, while the disk under it is
// the one it was mounted from.
std::optional<DeviceTarget> cryptVolumeTarget(const machine::State& state, char letter);
// The letters GetLogicalDrives reports, bit 0 for A:.
DWORD logicalDriveMask(const machine::State& state, const machine::DosNames& names);

}  // namespace win::detail
