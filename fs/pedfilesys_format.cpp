// The format operation: Windows formats a public partition's drive, through
// fmifs.dll's FormatEx and, when that never reports success, through the
// command-line format tool.
#include "fs/pedfilesys_format.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"
#include "device/peddevice.h"
#include "common/kx_process.h"
#include "platform/win_api.h"

namespace kx {

namespace {

constexpr int kFormatAttempts = 10;
constexpr std::size_t kMaxLabelChars = 35;
constexpr int kFatLabelBytes = 11;
// What NTFS keeps of a label.
constexpr std::size_t kNtfsLabelChars = 32;
constexpr std::size_t kMaxCommandLine = 127;
constexpr win::DWORD kFallbackWaitMs = 20000;

// Written by the callback on the formatting thread, which holds the library
// lock; read by other threads without it.
std::atomic<int> gProgress{0};
std::atomic<bool> gSucceeded{false};

const char16_t* fileSystemName(int code)
{
    switch (code) {
    case FS_FAT:
        return u"FAT";
    case FS_FAT32:
        return u"FAT32";
    default:
        return u"NTFS";
    }
}

bool safeOnCommandLine(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
               c == u'_' || c == u'.';
    // Blanks and invisible separators outside ASCII split words as well.
    return c > 0xA0 && c != 0x1680 && !(c >= 0x2000 && c <= 0x200F) && !(c >= 0x2028 && c <= 0x202F) &&
           c != 0x205F && c != 0x3000 && c != 0xFEFF;
}

// Its exit code says nothing we could trust (it may still be running after
// the wait), so the format service's report stays the only success.
void runFallback(const std::string& commandLine)
{
    kx::runHiddenTool(commandLine.c_str(), kFallbackWaitMs);
}

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A FAT volume label is 11 bytes of the OEM code page. A longer one makes
// the format service fail, and its command-line fallback formats NTFS.
bool fitsFatLabel(const std::u16string& label)
{
    if (label.empty())
        return true;
    const int bytes = win::WideCharToMultiByte(win::CP_OEMCP, 0, label.data(), static_cast<int>(label.size()),
                                               nullptr, 0, nullptr, nullptr);
    return bytes > 0 && bytes <= kFatLabelBytes;
}

}  // namespace

std::optional<std::u16string> wideLabel(const char* label)
{
    if (!label || !*label)
        return std::u16string{};
    const int needed = win::MultiByteToWideChar(win::CP_ACP, 0, label, -1, nullptr, 0);
    if (needed <= 0 || static_cast<std::size_t>(needed) - 1 > kMaxLabelChars)
        return std::nullopt;
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    if (win::MultiByteToWideChar(win::CP_ACP, 0, label, -1, wide.data(), needed) != needed)
        return std::nullopt;
    wide.pop_back();
    return wide;
}

bool fitsLabel(int code, const std::u16string& label)
{
    if (code == FS_FAT || code == FS_FAT32)
        return fitsFatLabel(label);
    return label.size() <= kNtfsLabelChars;
}

DriveResult formatDrive(const DriveFormat& drive, const std::string& label)
{
    win::HMODULE fmifs = win::LoadLibraryA("fmifs.dll");
    if (!fmifs)
        return DriveResult::NoService;
    auto formatEx = reinterpret_cast<win::PFORMATEX>(win::GetProcAddress(fmifs, "FormatEx"));
    if (!formatEx) {
        win::FreeLibrary(fmifs);
        return DriveResult::NoService;
    }
    runFormatEx(formatEx, drive);
    win::FreeLibrary(fmifs);

    DriveResult result = DriveResult::Formatted;
    if (!gSucceeded) {
        result = DriveResult::NotFormatted;
        if (const auto line = fallbackCommandLine(drive.letter, label, drive.label)) {
            runFallback(*line);
        } else {
            kx_printf("ERR:[%s:%s:%d]: Label not passed to the command-line format: %s\n", KX_WHERE(source::pedFileSys),
                      label.c_str());
            result = DriveResult::LabelRefused;
        }
    }
    gProgress = gSucceeded ? 100 : 0;
    return result;
}

void setFormatProgress(int percent)
{
    gProgress = percent;
}

win::BOOLEAN formatCallback(win::DWORD command, win::DWORD, win::PVOID data)
{
    if (command == win::PROGRESS) {
        if (data) {
            const win::DWORD percent = *static_cast<const win::DWORD*>(data);
            if (percent >= 1 && percent <= 100)
                gProgress = static_cast<int>(percent);
        }
        // The service may stop at 99 without a done report; a done report
        // that follows still decides.
        if (gProgress == 99)
            gSucceeded = true;
    } else if (command == win::DONE) {
        gSucceeded = data && *static_cast<const win::BOOLEAN*>(data) != 0;
    }
    return win::TRUE;
}

bool formatSucceeded() { return gSucceeded; }

int ped_file_system_format_progress() { return gProgress; }

int runFormatEx(win::PFORMATEX formatEx, const DriveFormat& drive)
{
    gSucceeded = false;
    gProgress = 0;
    int calls = 0;
    while (calls < kFormatAttempts && !gSucceeded) {
        ++calls;
        // Fresh copies each time: the service takes writable strings.
        std::u16string root{static_cast<char16_t>(drive.letter), u':', u'\\'};
        std::u16string fileSystem = fileSystemName(drive.code);
        std::u16string label = drive.label;
        formatEx(root.data(), win::FMIFS_HARDDISK, fileSystem.data(), label.data(),
                 drive.quick ? win::TRUE : win::FALSE, drive.clusterSize, formatCallback);
    }
    return calls;
}

std::optional<std::string> fallbackCommandLine(char letter, const std::string& label, const std::u16string& wideLabel)
{
    for (char16_t c : wideLabel)
        if (!safeOnCommandLine(c))
            return std::nullopt;
    std::string line = "cmd /c format ";
    line += letter;
    line += ": /fs:ntfs /v:" + label + " /q /y";
    if (line.size() > kMaxCommandLine)
        return std::nullopt;
    return line;
}

int ped_file_system_format(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize)
{
    if (!fs || !fs->part)
        return KX_FORMAT_NO_PARTITION;
    if (password)
        return formatPrivate(fs, password, label, quick, clusterSize);
    const PedDevice* dev = partData(fs->part)->dev;
    if (!dev || !dev->mount_point || !isDriveLetter(dev->mount_point[0]))
        return KX_FORMAT_NO_DRIVE;
    const auto wide = wideLabel(label);
    if (!wide || !fitsLabel(fs->code, *wide))
        return KX_FORMAT_BAD_LABEL;

    DriveFormat drive;
    drive.letter = dev->mount_point[0];
    drive.code = fs->code;
    drive.label = *wide;
    drive.quick = quick != 0;
    drive.clusterSize = static_cast<win::DWORD>(clusterSize);
    switch (formatDrive(drive, label ? label : "")) {
    case DriveResult::Formatted:
        return 0;
    case DriveResult::NoService:
        return KX_FORMAT_NO_SERVICE;
    case DriveResult::LabelRefused:
        return KX_FORMAT_BAD_LABEL;
    default:
        return KX_FORMAT_FAILED;
    }
}

}  // namespace kx
