#include "cli/upgrade_display.h"

#include <cstdio>
#include <sstream>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/TavrinOpt.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/support/WideText.h"
#include "app/core/jobs/WorkerMessages.h"
#include "platform/win_types.h"

namespace cli {

namespace {

constexpr int kBarWidth = 20;

std::string windowsError(int code)
{
    switch (code) {
    case win::ERROR_ACCESS_DENIED: return "access denied";
    case win::ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case win::ERROR_WRITE_PROTECT: return "the disk is write-protected";
    case win::ERROR_NOT_READY: return "the disk is not ready";
    case win::ERROR_CRC: return "data error";
    case win::ERROR_SECTOR_NOT_FOUND: return "sector not found";
    case win::ERROR_WRITE_FAULT: return "the disk reported a write fault";
    case win::ERROR_READ_FAULT: return "the disk reported a read fault";
    case 31: return "the device stopped working";  // ERROR_GEN_FAILURE
    case win::ERROR_SHARING_VIOLATION: return "the disk is in use by another program";
    case win::ERROR_DEVICE_NOT_CONNECTED: return "the device is no longer connected";
    default: return "Windows error " + std::to_string(code);
    }
}

// The raw transfer codes of the region steps.
std::string transferFailure(int code, UpgradeStage stage)
{
    switch (code) {
    case 1:
        return stage == UpgradeStage::Checking ? "the region read back differs from the image"
                                               : "the device path was refused (disk 0 is never written)";
    case 2: return "the disk could not be opened for its sole use, or an extracted file could not be opened";
    case 3: return "a read failed";
    case 4: return "fewer bytes than asked were transferred";
    default: return windowsError(code) + " (code " + std::to_string(code) + ")";
    }
}

}  // namespace

void TerminalProgress::line(int percent, const std::string& text)
{
    const int filled = percent * kBarWidth / 100;
    char head[16];
    std::snprintf(head, sizeof head, "%3d%% [", percent);
    out_ << head << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kBarWidth - filled), ' ') << "] " << text << std::endl;
}

void TerminalProgress::stageStarted(UpgradeStage stage)
{
    if (stage == UpgradeStage::Restarting && beforeRestart_)
        beforeRestart_();
    std::lock_guard lock(mutex_);
    last_ = stage;
    line(UpgradeStagePercent(stage), UpgradeStageName(stage));
}

void TerminalProgress::finished()
{
    std::lock_guard lock(mutex_);
    line(100, "done");
}

std::optional<UpgradeStage> TerminalProgress::lastStage() const
{
    std::lock_guard lock(mutex_);
    return last_;
}

void ResultReceiver::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (message != WM_WORKER_DONE || static_cast<WorkerOperation>(wParam) != WorkerOperation::Upgrade)
        return;
    std::lock_guard lock(mutex_);
    result_ = static_cast<int>(lParam);
}

void ResultReceiver::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    post(message, wParam, lParam);
}

std::optional<int> ResultReceiver::result() const
{
    std::lock_guard lock(mutex_);
    return result_;
}

std::optional<std::uint32_t> readUpgradeFlagWord(const std::string& devpath)
{
    ByteBuffer sector;
    CTavrinOpt opt;
    if (opt.ReadString(Utf8ToWide(devpath).c_str(), kUpgradeFlagOffset, sector, kUpgradeFlagSize, nullptr) != 0 ||
        sector.size() < 4)
        return std::nullopt;
    // Little-endian on the disk, as the worker writes it.
    return sector[0] | sector[1] << 8 | sector[2] << 16 | static_cast<std::uint32_t>(sector[3]) << 24;
}

std::string describeUpgradeResult(int code, std::optional<UpgradeStage> stage,
                                  const std::function<std::optional<std::uint32_t>()>& readFlags)
{
    if (code == CodeOf(UpgradeResult::Succeeded))
        return "upgrade done: kernel and rootfs written, read back and marked for the appliance";
    if (code == CodeOf(UpgradeResult::FileNotVerified))
        return "the image failed verification (checksum or header) and nothing was written";
    if (code == CodeOf(UpgradeResult::DiskBusy))
        return "another job holds the disk, and nothing was written";
    if (!stage)
        return "the upgrade stopped before it began";
    const std::string where = std::string(UpgradeStageName(*stage)) + " failed: ";
    if (*stage == UpgradeStage::Extracting || *stage == UpgradeStage::Verifying) {
        if (code == kKernelFileNotWritten || code == kRootfsFileNotWritten)
            return where + "the " + std::string(code == kKernelFileNotWritten ? "kernel" : "rootfs") +
                   " image could not be written to the shared templates folder; nothing was written to the disk";
        return where + "code " + std::to_string(code) + "; nothing was written to the disk";
    }
    std::string text = where + transferFailure(code, *stage);
    if (*stage != UpgradeStage::MarkingFlags && *stage != UpgradeStage::Restarting) {
        // The worker leaves the word as it was: say what it holds now.
        const auto word = readFlags ? readFlags() : std::nullopt;
        if (!word) {
            text += "; the upgrade flags were not set, and the flag sector could not be read";
        } else if (*word == 0) {
            text += "; the upgrade flags were not set: no upgrade flags are set";
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08x", *word);
            text += std::string("; the upgrade flags were not set: the flag sector still holds the previous "
                                "upgrade's flags (") + hex + ")";
        }
    }
    return text;
}

}  // namespace cli
