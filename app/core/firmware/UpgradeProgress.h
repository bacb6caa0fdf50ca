// Stages of a firmware upgrade, for callers that show progress (the command
// line). Optional: the pages learn only the outcome, from WM_WORKER_DONE.
#pragma once

enum class UpgradeStage {
    Verifying,      // image checksum against its header
    Extracting,     // kernel and rootfs files into the scratch folder
    WritingKernel,
    WritingRootfs,
    Checking,       // both regions read back and compared
    MarkingFlags,
    Restarting,     // USB device restart and search for the disk
};

struct UpgradeProgress {
    virtual ~UpgradeProgress() = default;
    // A stage begins; called on the worker's thread. Stages that are not
    // reached (the upgrade failed earlier) are never reported. An exception
    // thrown here is logged and the upgrade goes on.
    virtual void stageStarted(UpgradeStage stage) = 0;
};

// Share of the whole upgrade done when the stage begins, in percent, weighted
// by the bytes each stage moves (rootfs and the read-back dominate).
constexpr int UpgradeStagePercent(UpgradeStage stage)
{
    switch (stage) {
    case UpgradeStage::Verifying: return 0;
    case UpgradeStage::Extracting: return 10;
    case UpgradeStage::WritingKernel: return 20;
    case UpgradeStage::WritingRootfs: return 25;
    case UpgradeStage::Checking: return 55;
    case UpgradeStage::MarkingFlags: return 85;
    case UpgradeStage::Restarting: return 88;
    }
    return 0;
}

// Plain English words for progress output and logs.
constexpr const char* UpgradeStageName(UpgradeStage stage)
{
    switch (stage) {
    case UpgradeStage::Verifying: return "verifying image";
    case UpgradeStage::Extracting: return "extracting kernel and rootfs";
    case UpgradeStage::WritingKernel: return "writing kernel";
    case UpgradeStage::WritingRootfs: return "writing rootfs";
    case UpgradeStage::Checking: return "checking written regions";
    case UpgradeStage::MarkingFlags: return "setting upgrade flags";
    case UpgradeStage::Restarting: return "restarting device";
    }
    return "";
}
