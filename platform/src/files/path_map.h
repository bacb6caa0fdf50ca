// Where a Windows path leads on this machine.
//   X:\...        a letter mapped to a folder (C: is the machine's drive_c/)
//   \\.\NAME      a device: PhysicalDriveN, a DOS name, a letter ("D:")
//   anything else a host path, backslashes read as separators
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace win::detail {

struct ResolvedPath {
    enum Kind { HostFile, Device, Invalid } kind = Invalid;
    std::filesystem::path host;  // HostFile: the file; case matched to what exists
    std::string device;          // Device: the name after \\.\ (UTF-8)
};

// path is UTF-8. Names that differ only in case find the existing entry,
// as on Windows.
ResolvedPath resolvePath(std::string_view path);
// The Windows spelling of a folder inside drive_c (for example
// "C:\\ProgramData\\Microsoft\\Windows\\Templates").
std::filesystem::path hostPathOfC(std::string_view relative);

}  // namespace win::detail
