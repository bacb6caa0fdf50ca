// Formatting a volume of the machine for real: the work behind fmifs.dll's
// FormatEx and the command-line format tool.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace machine {

enum class FileSystemKind { Ntfs, Fat, Fat32 };

// "NTFS", "FAT" or "FAT32", any case.
std::optional<FileSystemKind> fileSystemNamed(std::string_view name);
const char* fileSystemName(FileSystemKind kind);

struct FormatRequest {
    char letter = 0;  // the drive whose volume is formatted
    FileSystemKind fileSystem = FileSystemKind::Ntfs;
    std::string label;            // UTF-8; empty for none
    bool quick = true;            // a full format also zeroes the whole volume
    std::uint32_t clusterSize = 0;  // bytes; 0 takes the file system's default
};

enum class FormatFailure {
    None,
    NoVolume,       // no such letter, or it is not a partition of a disk
    InUse,          // another handle holds the volume exclusively
    WriteProtected,
    BadRequest,     // label, cluster size or size the file system refuses
    ToolFailed,     // the formatter failed
    IoFailed,       // writing the disk failed
    Cancelled,      // the progress callback asked to stop
};

struct FormatOutcome {
    FormatFailure failure = FormatFailure::None;
    std::string message;  // why, for the user
    bool ok() const { return failure == FormatFailure::None; }
};

// Why the file system would refuse this label, or nothing when it takes it.
std::optional<std::string> labelProblem(FileSystemKind kind, std::string_view utf8Label);

// Called with rising percentages while the format runs; returning false
// stops it.
using FormatProgress = std::function<bool(int percent)>;

FormatOutcome formatVolume(Machine& m, const FormatRequest& request, const FormatProgress& progress);

}  // namespace machine
