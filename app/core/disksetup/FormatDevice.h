// The format worker of the disk setup and firmware pages: rebuilds the
// selected device's disk (zeroed gptsurplus region, no old partitions, the
// system partition and up to three public ones) on a thread of its own and
// reports each stage with WM_FORMAT_PROGRESS or WM_FORMAT_ERROR.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "app/core/firmware/TavrinOpt.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/jobs/WorkerNotify.h"
#include "kx/kx.h"

// wParam of WM_FORMAT_PROGRESS (CodeOf).
enum class FormatStage : int {
    Started = 1,
    Partitioned = 2,  // partitions visible, formatting begins
    Done = 3,
};
// wParam of WM_FORMAT_ERROR (CodeOf; lParam the partition number for
// NotFormatted and DiskGone).
enum class FormatError : int {
    NoDisk = 1,
    NotCleared = 2,  // gptsurplus region or old partitions
    NotCreated = 3,  // partitions not created or the disk not ready
    NotFormatted = 4,
    DiskBusy = 5,  // another job holds the disk; nothing was written
    DiskGone = 6,  // the disk went away (lParam: the partition being formatted)
    Quit = 7,      // the operator quit before anything was written
};

inline constexpr std::uint32_t kFormatSystemSizeMiB = 1024;

// Public partition sizes in MiB; the last public partition always takes the
// rest of the disk, so the third size is carried but never used.
struct FormatSizes {
    std::uint32_t nSize1 = 0;
    std::uint32_t nSize2 = 0;
    std::uint32_t nSize3 = 0;
};

// The text public partition labels start with: the current language's
// IDC_STRING_FORMAT_PUBLIC_PARTIONG, or "Partition" when no language file is
// loaded (the command line loads none).
std::u16string GetFormatPublicPartitionText();

class CFormatDevice {
public:
    // A run sets up the selection's device, restarting it on the way, and
    // puts the device found again in its place; the selection must outlive
    // the worker.
    explicit CFormatDevice(SelectedDevice& selection) : m_selection(selection) {}
    // Waits for a run still going: its thread uses this object.
    ~CFormatDevice();
    CFormatDevice(const CFormatDevice&) = delete;
    CFormatDevice& operator=(const CFormatDevice&) = delete;

    // Receives the messages; must outlive the run.
    void SetNotifyWindow(WorkerNotify* pWindow);
    // nCount public partitions (0 to 3); nFormatFlag 1 formats them after
    // partitioning, 0 stops once the table is in place.
    void SetFormatParam(int nCount, const FormatSizes& sizes, int nFormatFlag);
    // Called on the worker's thread before a device restart: a worker of a
    // many-disk run waits there for its turn.
    void SetBeforeRestart(std::function<void()> wait) { m_beforeRestart = std::move(wait); }

    // Runs FormatDiskInThread with the settings of now on a fresh thread; a
    // run still going is waited for first. Returns the new thread's id.
    std::thread::id BeginFormat();
    // Waits until the run started last has sent its last message.
    void Wait();
    // Asks the running run to end before its first write (FormatError::Quit):
    // true when it will (or wrote nothing), false once the disk is being
    // changed: the run then goes to its end, so no table is left without its
    // file systems.
    bool RequestStop();
    // The run started last got past its last stop: the disk is being, or
    // has been, changed.
    bool WritingBegun() const { return m_stopPhase == StopPhase::Writing; }

    // The partition being formatted now and its number, for polling
    // kx_part_format_progress from another thread; null between formats.
    PedWinPart* GetFormattingPartition(int* pNumber = nullptr) const;

    // Zeroes the gptsurplus region: 0, else the region writer's code.
    int ClearGPTSurplusInfo(const char16_t* pDevPath);
    // The whole run on the calling thread, on the selected device. Ends with
    // exactly one WM_FORMAT_ERROR or one WM_FORMAT_PROGRESS (FormatStage::Done).
    int FormatDiskInThread();

private:
    struct Job {
        int nCount = 0;
        FormatSizes sizes;
        int nFormatFlag = 1;
        WorkerNotify* pWindow = nullptr;
    };
    // Where a run stands: the error its current step reports if it stops.
    struct Run;

    Job CurrentJob() const;
    int RunJob(const Job& job);
    void RunSteps(const Job& job, Run& run);
    bool RestartSelectedDevice();
    // Whether the selected device's disk, as last read, holds the new table:
    // that many primary partitions and nothing else.
    bool SelectedDiskHoldsTable(int nPrimary);
    bool FormatPublicPartitions(kx_disk* disk, const std::string& devPath, int nCount, Run& run);
    // The disk still answers a read of its first sector.
    bool DiskAnswers(const std::string& devPath);

    SelectedDevice& m_selection;
    CTavrinOpt m_regionOpt;
    int m_nFormatFlag = 1;
    std::thread m_thread;
    WorkerNotify* m_pWindow = nullptr;
    FormatSizes m_sizes;
    std::uint32_t m_nSystemSize = kFormatSystemSizeMiB;
    int m_nPublicCount = 0;
    std::atomic<PedWinPart*> m_pFormatting{nullptr};
    std::atomic<int> m_nFormatting{0};
    // One exchange decides between a stop and the first write.
    enum class StopPhase { Running, Stopping, Writing };
    std::atomic<StopPhase> m_stopPhase{StopPhase::Running};
    std::function<void()> m_beforeRestart;
};
