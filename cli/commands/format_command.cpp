// orvane format: quick-formats one partition of the appliance disk through
// the library, with a progress bar fed from the library's progress figure.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands/commands.h"
#include "cli/device_choice.h"
#include "cli/library_session.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace cli {

namespace {

// What NTFS keeps of a label; FAT and FAT32 keep 11 bytes, which the
// library checks against the OEM code page.
constexpr std::size_t kMaxLabelChars = 32;
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr int kBarWidth = 40;

std::string lower(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int partitionNumber(const std::string& word)
{
    if (word.empty() || word.size() > 3 || word.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(word) == 0)
        throw UsageError("format needs a partition number (1, 2, ...), not '" + word + "'");
    return std::stoi(word);
}

// The M of "\Device\HarddiskN\PartitionM", or none.
std::optional<int> numberOfPath(const char* path)
{
    const std::string text = path ? path : "";
    const std::string key = "\\Partition";
    const auto at = text.rfind(key);
    if (at == std::string::npos || at + key.size() >= text.size() ||
        text.find_first_not_of("0123456789", at + key.size()) != std::string::npos)
        return std::nullopt;
    return std::stoi(text.substr(at + key.size()));
}

// What the library makes of each kind; none for those this command leaves alone.
std::optional<std::string> fileSystemOfKind(int kind)
{
    switch (kind) {
    case KX_FS_FAT:
        return "fat";
    case KX_FS_FAT32:
        return "fat32";
    case KX_FS_NONE:  // a type the table does not name: the library makes NTFS
    case KX_FS_NTFS:
        return "ntfs";
    default:
        return std::nullopt;
    }
}

std::string upper(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string gibibytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1ull << 30));
    return text;
}

std::string describe(const PedWinPart* part, int number)
{
    std::string text = "partition " + std::to_string(number);
    if (part->mountpoint)
        text += std::string(" (") + part->mountpoint + ", " + gibibytes(part->size) + ")";
    return text;
}

PedWinPart* partitionNumbered(kx_disk* disk, int number, const std::string& devpath)
{
    std::string known;
    for (PedWinPart* p = kx_part_getinfo(disk, nullptr, KX_PART_ALL); p; p = kx_part_getinfo(disk, p, KX_PART_ALL)) {
        const auto n = numberOfPath(p->path);
        if (n && *n == number)
            return p;
        if (n)
            known += (known.empty() ? "" : ", ") + std::to_string(*n);
    }
    throw CommandFailure("there is no partition " + std::to_string(number) + " on " + devpath +
                         (known.empty() ? " (it shows no partitions)" : " (partitions: " + known + ")"));
}

// The library takes labels in the system code page; the terminal gives UTF-8.
std::string systemCodePageLabel(const std::string& utf8)
{
    if (utf8.empty())
        return utf8;
    const int wideSize = win::MultiByteToWideChar(win::CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(std::max(wideSize, 1)), u'\0');
    if (wideSize <= 0 || win::MultiByteToWideChar(win::CP_UTF8, 0, utf8.c_str(), -1, wide.data(), wideSize) != wideSize)
        throw UsageError("the label is not UTF-8 text");
    if (static_cast<std::size_t>(wideSize) - 1 > kMaxLabelChars)
        throw UsageError("the label takes at most " + std::to_string(kMaxLabelChars) +
                         " characters (NTFS; FAT and FAT32 take 11 bytes)");
    win::BOOL lossy = win::FALSE;
    const int size = win::WideCharToMultiByte(win::CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    // ERROR_NO_UNICODE_TRANSLATION: the system has no converter for the code
    // page (the C library's gconv modules are missing), so only ASCII converts.
    if (size <= 0 && win::GetLastError() == 1113)
        throw CommandFailure("the label cannot be converted to this system's code page " +
                             std::to_string(win::GetACP()) +
                             ": there is no converter for it here (the C library's gconv modules are missing); "
                             "an ASCII label needs none");
    std::string text(static_cast<std::size_t>(std::max(size, 1)), '\0');
    if (size <= 0 || lossy ||
        win::WideCharToMultiByte(win::CP_ACP, 0, wide.c_str(), -1, text.data(), size, nullptr, &lossy) != size || lossy)
        throw UsageError("the label has characters this system's code page cannot hold");
    text.pop_back();
    return text;
}

// A character the file system's labels cannot hold, named before anything
// is written: the format service would refuse it, and the command-line
// format it falls back on takes still fewer, so the library could only
// report a failure with no reason.
void refuseLabelCharacters(const std::string& fileSystem, const std::string& utf8)
{
    const std::string refused = fileSystem == "NTFS" ? "\"*/:<>?\\|" : "\"*+,./:;<=>?[\\]|";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            throw UsageError(fileSystem + " labels cannot hold control characters; nothing was written");
        if (refused.find(c) != std::string::npos)
            throw UsageError(fileSystem + " labels cannot hold '" + std::string(1, c) + "'; nothing was written");
    }
}

bool confirmed(const std::string& question, std::ostream& out)
{
    out << question << " [y/N] " << std::flush;
    std::string answer;
    const bool read = static_cast<bool>(std::getline(std::cin, answer));
    // An answer from a pipe is not echoed; show it so the output reads on.
    if (!::isatty(STDIN_FILENO))
        out << answer << '\n';
    answer = lower(answer);
    return read && (answer == "y" || answer == "yes");
}

class ProgressBar {
public:
    explicit ProgressBar(std::ostream& out) : out_(out) {}
    void show(double figure)
    {
        const int percent = std::clamp(static_cast<int>(figure), 0, 100);
        if (percent == shown_)
            return;
        shown_ = percent;
        const int filled = percent * kBarWidth / 100;
        out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << percent << "%" << std::flush;
    }
    void end() { out_ << '\n'; }

private:
    std::ostream& out_;
    int shown_ = -1;
};

int formatWithProgress(PedWinPart* part, const std::string& label, std::ostream& out)
{
    ProgressBar bar(out);
    bar.show(0);
    // The format holds the library lock; the figure is read without it.
    auto job = std::async(std::launch::async, [part, label] {
        return kx_part_format(part, nullptr, label.c_str(), 1, 0);
    });
    while (job.wait_for(kPollInterval) != std::future_status::ready)
        bar.show(kx_part_format_progress(part));
    const int result = job.get();
    bar.show(kx_part_format_progress(part));
    bar.end();
    return result;
}

std::string narrow(const win::WCHAR* wide)
{
    char text[1024] = {};
    return win::WideCharToMultiByte(win::CP_UTF8, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr) > 0 ? text
                                                                                                          : "";
}

// What the drive holds after a format whose outcome the library cannot vouch for.
std::string driveNow(const std::string& drive)
{
    const win::WCHAR root[] = {static_cast<win::WCHAR>(drive[0]), u':', u'\\', 0};
    win::WCHAR label[261] = {}, fileSystem[64] = {};
    if (!win::GetVolumeInformationW(root, label, 261, nullptr, nullptr, nullptr, fileSystem, 64) || !fileSystem[0])
        return drive + " holds no file system the system recognises";
    return drive + " now holds " + narrow(fileSystem) + " labelled \"" + narrow(label) + "\"";
}

std::string whyNotFormatted(int code, const std::string& drive)
{
    switch (code) {
    case KX_FORMAT_NO_DRIVE:
        return "it has no drive letter";
    case KX_FORMAT_FAILED:
        return "the format service did not report success; the command-line NTFS format was run in its place, and " +
               driveNow(drive) + ": check it before use";
    case KX_FORMAT_NO_SERVICE:
        return "this system has no format service (fmifs.dll FormatEx); nothing was done";
    case KX_FORMAT_BAD_LABEL:
        return "the format service failed and the label cannot be given to the command-line format (only letters, "
               "digits, '-', '_' and '.' can)";
    case KX_FORMAT_NO_PARTITION:
        return "the partition went away; nothing was done";
    case KX_FORMAT_HELD:
        return "the partition is held by another program";
    default:
        return "the library answered " + std::to_string(code);
    }
}

// What a format of the partition will do, once it is known to be allowed.
struct Plan {
    PedWinPart* part = nullptr;
    std::string name;        // "partition 2 (D:, 1.0 GiB)"
    std::string fileSystem;  // "NTFS", "FAT" or "FAT32"
    std::string typeText;    // "is of type NTFS"
};

Plan planFormat(PedWinPart* part, int number, const std::optional<std::string>& asked)
{
    Plan plan{part, describe(part, number), "", ""};
    const auto made = fileSystemOfKind(part->kind);
    if (!made)
        throw CommandFailure(plan.name + (part->kind == KX_FS_SYSTEM ? " is the appliance's system partition"
                                                                     : " holds a private volume") +
                             "; orvane format does not format it");
    plan.fileSystem = upper(*made);
    plan.typeText = part->kind == KX_FS_NONE ? "has a type the library does not name (it formats those NTFS)"
                                             : "is of type " + plan.fileSystem;
    // The library formats by the partition's type; a differing --fs could
    // only be honoured by changing the table, which this command never does.
    if (asked && *asked != *made)
        throw CommandFailure(plan.name + " " + plan.typeText + ". The library formats a partition with the file "
                             "system of its type, so it cannot become " + upper(*asked) + ". Nothing was done.");
    if (!part->mountpoint)
        throw CommandFailure(plan.name + " has no drive letter, so it cannot be formatted");
    return plan;
}

}  // namespace

int runFormat(const CommandLine& line, std::ostream& out)
{
    if (line.words.size() != 2)
        throw UsageError("format needs one partition number");
    line.allowOnly({"--label", "--fs", "--device", "--yes"});
    const int number = partitionNumber(line.words[1]);
    const auto labelText = line.option("--label");
    if (!labelText)
        throw UsageError("format needs --label");
    const std::string label = systemCodePageLabel(*labelText);
    auto asked = line.option("--fs");
    if (asked) {
        asked = lower(*asked);
        if (*asked != "ntfs" && *asked != "fat" && *asked != "fat32")
            throw UsageError("--fs takes ntfs, fat or fat32");
    }

    LibrarySession session;
    const std::string devpath = chooseDevice(listDevices(), line.option("--device"));
    kx_disk* disk = kx_disk_get(devpath.c_str());
    if (!disk)
        throw CommandFailure("the disk " + devpath + " could not be read");
    const Plan plan = planFormat(partitionNumbered(disk, number, devpath), number, asked);
    refuseLabelCharacters(plan.fileSystem, *labelText);
    if (!line.option("--yes") &&
        !confirmed(plan.name + " of " + devpath + " " + plan.typeText + ". Everything on it will be lost. Format it " +
                       plan.fileSystem + " with the label \"" + *labelText + "\"?",
                   out))
        throw CommandFailure("format cancelled; nothing was written");

    const std::string drive = plan.part->mountpoint;
    out << "Formatting " << drive << " " << plan.fileSystem << "...\n";
    const int result = formatWithProgress(plan.part, label, out);
    if (result != 0)
        throw CommandFailure(drive + " was not formatted: " + whyNotFormatted(result, drive));
    out << "Formatted " << drive << " " << plan.fileSystem << " with the label \"" << *labelText << "\".\n";
    return kSuccess;
}

}  // namespace cli
