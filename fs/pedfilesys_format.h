// The pieces of a drive format: the FormatEx callback and its process-wide
// figures, the attempts, and the command-line fallback's command line.
#pragma once

#include <optional>
#include <string>

#include "fs/pedfilesys.h"
#include "platform/win_fmifs.h"

namespace kx {

// What one drive format asks of the format service.
struct DriveFormat {
    char letter = 0;
    int code = FS_NTFS;          // picks "FAT", "FAT32" or "NTFS"
    std::u16string label;        // at most 35 characters
    bool quick = true;
    win::DWORD clusterSize = 0;  // 0: the file system's default
};

enum class DriveResult { Formatted, NoService, NotFormatted, LabelRefused };

// Formats the drive through FormatEx and, when that never reports success,
// through the command-line NTFS format. label is drive.label in the system
// code page, for the command line.
DriveResult formatDrive(const DriveFormat& drive, const std::string& label);

// The label in UTF-16; none when it does not convert or is longer than 35
// characters.
std::optional<std::u16string> wideLabel(const char* label);
// The label fits the file system of code: FAT and FAT32 11 bytes of the OEM
// code page, NTFS 32 characters.
bool fitsLabel(int code, const std::u16string& label);

// The process-wide percentage, for formats that do not run through FormatEx.
void setFormatProgress(int percent);

// The format with a password: a private volume on the partition. 0 or a
// KX_FORMAT_* code.
int formatPrivate(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize);

// The callback handed to FormatEx; always asks it to go on.
win::BOOLEAN formatCallback(win::DWORD command, win::DWORD subAction, win::PVOID data);
bool formatSucceeded();

// Resets the figures, then calls formatEx until the callback has seen
// success, at most ten times. Returns the number of calls.
int runFormatEx(win::PFORMATEX formatEx, const DriveFormat& drive);

// "cmd /c format X: /fs:ntfs /v:LABEL /q /y", or none when the label could
// carry more than a label into the command line: it is inserted unquoted,
// so only letters, digits, '-', '_' and '.' may reach it.
std::optional<std::string> fallbackCommandLine(char letter, const std::string& label, const std::u16string& wideLabel);

}  // namespace kx
