// What the operator sees of an upgrade on the terminal: a line per stage
// with its share of the work, and the result code in words.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "app/core/firmware/UpgradeProgress.h"
#include "app/core/jobs/WorkerNotify.h"

namespace cli {

class TerminalProgress : public UpgradeProgress {
public:
    explicit TerminalProgress(std::ostream& out) : out_(out) {}
    void stageStarted(UpgradeStage stage) override;
    // Called before the device restart stage is shown, on the worker's
    // thread: a worker of a many-disk upgrade waits there for its turn.
    void beforeRestart(std::function<void()> wait) { beforeRestart_ = std::move(wait); }
    // The last stage that began: where a failed upgrade stopped.
    std::optional<UpgradeStage> lastStage() const;
    void finished();

private:
    void line(int percent, const std::string& text);

    mutable std::mutex mutex_;
    std::ostream& out_;
    std::optional<UpgradeStage> last_;
    std::function<void()> beforeRestart_;
};

// Stands for the page window: keeps the upgrade's result.
class ResultReceiver : public WorkerNotify {
public:
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::optional<int> result() const;

private:
    mutable std::mutex mutex_;
    std::optional<int> result_;
};

// After a finished upgrade whose device restart failed (the device console
// tool says why, above it).
inline constexpr const char* kRestartByHandText =
    "The firmware is written, but the USB device could not be restarted: unplug the appliance and plug it in "
    "again to finish the upgrade.";

// The meaning of an upgrade result; the stage tells apart the causes that
// share a code.
// readFlags gives the disk's flag word after a failure, or nothing when the
// flag sector could not be read.
std::string describeUpgradeResult(int code, std::optional<UpgradeStage> stage,
                                  const std::function<std::optional<std::uint32_t>()>& readFlags = {});
// The flag word as the upgrade reads it, by the same path; read only.
std::optional<std::uint32_t> readUpgradeFlagWord(const std::string& devpath);

}  // namespace cli
