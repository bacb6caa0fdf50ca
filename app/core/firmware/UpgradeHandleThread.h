// The worker of the search and firmware pages: probes the attached disks
// again, or upgrades the selected device's firmware, on a thread of its own,
// and reports the outcome with one WM_WORKER_DONE.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "app/core/firmware/FileUpgradeOpt.h"
#include "app/core/firmware/TavrinOpt.h"
#include "app/core/firmware/UpgradeJobFiles.h"
#include "app/core/firmware/UpgradeProgress.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/jobs/WorkerNotify.h"

// Worker operations, the wParam of WM_WORKER_DONE.
enum class WorkerOperation : int {
    Probe = 1,
    Upgrade = 2,
    // Only the image's check (0 or FileNotVerified): it reads the whole
    // image, which must not hold up a window.
    Verify = 3,
};

// Upgrade results the receiver tells apart, the lParam of WM_WORKER_DONE
// (CodeOf). Any other nonzero value is a code of the firmware input/output or
// a Windows error of a device write.
enum class UpgradeResult : int {
    Succeeded = 0,
    FileNotVerified = kUpgradeFileNotVerified,
    // Another job holds the disk; nothing was read from it or written.
    DiskBusy = 1001,
    // The operator quit before the first write; the device is as it was.
    Quit = 1002,
};
static_assert(CodeOf(UpgradeResult::FileNotVerified) == 1000);

// What the device restart at the end of an upgrade did.
enum class RestartOutcome {
    NotTried,   // the upgrade did not get that far, or no device was selected
    Failed,     // the device could not be restarted: it is as it was
    Back,       // it left and was found again (the selected device)
    NotBack,    // it left and was not found again
};

class CUpgradeHandleThread {
public:
    // An upgrade restarts the selection's device and puts the device found
    // again in its place; the selection must outlive the worker.
    explicit CUpgradeHandleThread(SelectedDevice& selection) : m_selection(selection) {}
    // Waits for a job still running: its thread uses this object.
    ~CUpgradeHandleThread();
    CUpgradeHandleThread(const CUpgradeHandleThread&) = delete;
    CUpgradeHandleThread& operator=(const CUpgradeHandleThread&) = delete;

    void SetOperation(WorkerOperation operation);
    // Receives WM_WORKER_DONE; must outlive the job.
    void SetWindow(WorkerNotify* pWindow);
    void SetJob(WorkerOperation operation, std::u16string_view imagePath, std::u16string_view devPath);
    // Optional stage reports of upgrades; must outlive the job. May change
    // while a job runs.
    void SetProgress(UpgradeProgress* pProgress);

    // Runs the operation set last on a fresh thread; the settings are taken
    // now, so changing them afterwards does not touch the running job. A job
    // still running is waited for first (the pages never start a second).
    void Start();
    // Waits until the job started last has ended and posted its message.
    void Wait();
    // Asks the running upgrade to end before its first write to the device
    // (UpgradeResult::Quit): true when it will (or wrote nothing), false once
    // writing has begun: it then runs to its end, as a firmware half written
    // is worse than the old one or the new one.
    bool RequestStop();
    // The job started last got past its last stop: the device is being, or
    // has been, written.
    bool WritingBegun() const { return m_stopPhase == StopPhase::Writing; }
    // The restart of the job that ended last.
    RestartOutcome LastRestart() const { return m_restart; }

    // The upgrade sequence on the calling thread: verify and extract the
    // image, write both regions, check them, set the flags, restart the
    // selected device and take the device found again as the selected one
    // (so callers select the device they upgrade before starting).
    // 0 done (whatever the restart did), else the first failing step's code.
    int UpgradeDeviceInThread(std::u16string imagePath, std::u16string devPath);
    // The kernel and rootfs as their regions take them: read from the image
    // once, cut or zero-padded to the region's size. The disk, the extracted
    // files and the read-back check all work from this memory.
    struct RegionSources {
        ByteBuffer kernel, rootfs;
        std::uint32_t nKernel = 0, nRootfs = 0;  // the image's bytes in each
    };
    // Kernel then rootfs region.
    int UpgradeDeviceInfo(const char16_t* pDevPath, const RegionSources& sources);
    // Both regions read back against the image's own bytes and the zeros
    // after them.
    int CheckWriteInfo(const char16_t* pDevPath, const RegionSources& sources);
    // Flag bits of loader, rootfs and uboot, in that order.
    int MarkUpgradeFlags(const char16_t* pDevPath);

    // The shared templates folder, followed by "\\loader", "\\uboot",
    // "\\kernel", "\\rootfs" or "\\mbr" for codes 1 to 5. Empty when the
    // folder cannot be had, so nothing lands in a made-up place.
    static std::u16string GetUpgradeFilePath(int nCode = 0);

private:
    struct Job {
        WorkerOperation operation{};
        std::u16string imagePath, devPath;
        WorkerNotify* pWindow = nullptr;
    };

    void ThreadRoutine(const Job& job);
    int RunJob(const Job& job);
    // The parts read into their region buffers and verified there: 0, or
    // nonzero when the image cannot be read or does not verify.
    int ReadVerifiedSources(const std::u16string& imagePath, RegionSources& sources);
    // The extracted kernel and rootfs files, under this job's own names.
    int WriteExtractedFiles(const UpgradeJobFiles& files, const RegionSources& sources);
    int CheckRegion(const char16_t* pDevPath, int nUpgradeType, const ByteBuffer& source);
    void RestartSelectedDevice();
    void Report(UpgradeStage stage);
    // True, logged, when a stop was asked for.
    bool StopAsked(const char* where);
    // False, logged, when a stop came first; else the job is past stopping.
    // One exchange, so a stop and the first write never pass each other.
    bool BeginWriting();

    SelectedDevice& m_selection;
    CFileUpgradeOpt m_fileOpt;
    CTavrinOpt m_deviceOpt;
    std::thread m_thread;
    WorkerNotify* m_pWindow = nullptr;
    WorkerOperation m_operation{};
    std::u16string m_imagePath;
    std::u16string m_devPath;
    std::atomic<UpgradeProgress*> m_pProgress{nullptr};
    enum class StopPhase { Running, Stopping, Writing };
    std::atomic<StopPhase> m_stopPhase{StopPhase::Running};
    std::atomic<RestartOutcome> m_restart{RestartOutcome::NotTried};
};
