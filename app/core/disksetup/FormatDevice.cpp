// The format worker's thread and its run, stage by stage.
#include "app/core/disksetup/FormatDevice.h"

#include <exception>
#include <new>

#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/jobs/DiskJobLock.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/language/PublicFunction.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

constexpr std::uint64_t kMiB = 1048576;

std::string WideToOem(const std::u16string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int needed =
        win::WideCharToMultiByte(win::CP_OEMCP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string out(static_cast<size_t>(needed), '\0');
    win::WideCharToMultiByte(win::CP_OEMCP, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

// "%s-%d" of the partition text and the number, in the OEM code page.
std::string PublicPartitionLabel(int n)
{
    std::u16string label = GetFormatPublicPartitionText() + u"-";
    for (char c : std::to_string(n))
        label += static_cast<char16_t>(c);
    return WideToOem(label);
}

// The index-th partition of a walk from the start. A format may leave the
// handles it walked stale, so every partition is found afresh.
PedWinPart* PartitionAt(kx_disk* disk, size_t index)
{
    PedWinPart* part = kx_part_getinfo(disk, nullptr, KX_PART_ALL);
    for (size_t i = 0; part && i < index; ++i)
        part = kx_part_getinfo(disk, part, KX_PART_ALL);
    return part;
}

}  // namespace

std::u16string GetFormatPublicPartitionText()
{
    const CPublicFunction& language = CPublicFunction::GetInstance();
    // Callers without a chosen language (the command line) get the English text.
    if (language.GetLanguagePath().empty())
        return u"Partition";
    return language.GetLanguageString(u"IDC_STRING_FORMAT_PUBLIC_PARTIONG");
}

// The messages of one run. A run that stops for any reason, an exception
// included, still ends with one error message: the one its step reports.
struct CFormatDevice::Run {
    WorkerNotify* pWindow = nullptr;
    bool bEnded = false;
    FormatError stopCode = FormatError::NotCleared;
    std::intptr_t nStopParam = 0;

    void Notify(bool bSend, unsigned message, int wParam, std::intptr_t lParam)
    {
        if (!pWindow)
            return;
        // A window that cannot take a message must not end the process or
        // leave the disk half done: the run goes on.
        try {
            if (bSend)
                pWindow->send(message, static_cast<std::uintptr_t>(wParam), lParam);
            else
                pWindow->post(message, static_cast<std::uintptr_t>(wParam), lParam);
        } catch (...) {
            COMN_LOG("%s : %s : %d format message not delivered! message:0x%x, wParam:%d", message, wParam);
        }
    }
    void Progress(FormatStage stage) { Notify(true, WM_FORMAT_PROGRESS, CodeOf(stage), 0); }
    void Done(bool bSend)
    {
        bEnded = true;
        Notify(bSend, WM_FORMAT_PROGRESS, CodeOf(FormatStage::Done), 0);
    }
    void Fail(FormatError error, std::intptr_t nParam = 0)
    {
        bEnded = true;
        Notify(true, WM_FORMAT_ERROR, CodeOf(error), nParam);
    }
};

CFormatDevice::~CFormatDevice() { Wait(); }

bool CFormatDevice::RequestStop()
{
    StopPhase running = StopPhase::Running;
    return m_stopPhase.compare_exchange_strong(running, StopPhase::Stopping) || running == StopPhase::Stopping;
}

void CFormatDevice::SetNotifyWindow(WorkerNotify* pWindow) { m_pWindow = pWindow; }

void CFormatDevice::SetFormatParam(int nCount, const FormatSizes& sizes, int nFormatFlag)
{
    m_nPublicCount = nCount;
    m_sizes = sizes;
    m_nFormatFlag = nFormatFlag;
}

std::thread::id CFormatDevice::BeginFormat()
{
    Wait();
    m_stopPhase = StopPhase::Running;
    m_thread = std::thread([this, job = CurrentJob()] { RunJob(job); });
    return m_thread.get_id();
}

void CFormatDevice::Wait()
{
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();  // waited for from its own message handler: only its return is left
    else
        m_thread.join();
}

PedWinPart* CFormatDevice::GetFormattingPartition(int* pNumber) const
{
    // The number is stored before the partition, so it is read after it.
    PedWinPart* part = m_pFormatting.load();
    if (pNumber)
        *pNumber = m_nFormatting.load();
    return part;
}

int CFormatDevice::ClearGPTSurplusInfo(const char16_t* pDevPath)
{
    const int nRet = m_regionOpt.WriteDeviceString(pDevPath, UPGRADE_TYPE_GPTSURPLUS, nullptr);
    if (nRet != 0)
        COMN_LOG("%s : %s : %d write GPT SURPLUS error - %d", nRet);
    return nRet;
}

int CFormatDevice::FormatDiskInThread() { return RunJob(CurrentJob()); }

CFormatDevice::Job CFormatDevice::CurrentJob() const
{
    return Job{m_nPublicCount, m_sizes, m_nFormatFlag, m_pWindow};
}

int CFormatDevice::RunJob(const Job& job)
{
    Run run{job.pWindow};
    try {
        RunSteps(job, run);
    } catch (const std::bad_alloc&) {
        COMN_LOG("%s : %s : %d format out of memory! nCount:%d", job.nCount);
    } catch (const std::exception& e) {
        COMN_LOG("%s : %s : %d format stopped! nCount:%d, %s", job.nCount, e.what());
    } catch (...) {
        COMN_LOG("%s : %s : %d format stopped! nCount:%d", job.nCount);
    }
    m_pFormatting = nullptr;
    m_nFormatting = 0;
    if (!run.bEnded)
        run.Fail(run.stopCode, run.nStopParam);
    return 0;
}

void CFormatDevice::RunSteps(const Job& job, Run& run)
{
    run.Progress(FormatStage::Started);
    kx_device* device = m_selection.Get();
    if (!device || !device->path) {
        COMN_LOG("%s : %s : %d no device selected!");
        run.Fail(FormatError::NoDisk);
        return;
    }
    const std::string devPath = device->path;
    // The disk is this run's to the end of its restart.
    const DiskJobLock lock = DiskJobLock::Take(devPath.c_str(), DiskJobKind::Setup);
    if (lock.Busy()) {
        COMN_LOG("%s : %s : %d disk not taken! %s", lock.Refusal().c_str());
        run.Fail(FormatError::DiskBusy);
        return;
    }
    if (StopPhase running = StopPhase::Running;
        !m_stopPhase.compare_exchange_strong(running, StopPhase::Writing)) {
        COMN_LOG("%s : %s : %d disk setup stopped on quit before the first write: the disk is as it was");
        run.Fail(FormatError::Quit);
        return;
    }
    if (ClearGPTSurplusInfo(Utf8ToWide(devPath).c_str()) != 0) {
        run.Fail(FormatError::NotCleared);
        return;
    }
    kx_disk* disk = kx_disk_get(devPath.c_str());
    if (!disk) {
        COMN_LOG("%s : %s : %d disk not found! %s", devPath.c_str());
        run.Fail(FormatError::NoDisk);
        return;
    }

    const std::uint64_t v4 = static_cast<std::uint64_t>(m_nSystemSize) * kMiB;
    const std::uint64_t d = static_cast<std::uint64_t>(disk->size > 0 ? disk->size : 0);
    std::uint64_t p1 = 0, p2 = 0, p3 = 0;
    std::uint64_t fixed = v4;  // what the last public partition does not get
    if (job.nCount >= 2)
        fixed += (p1 = job.sizes.nSize1 * kMiB);
    if (job.nCount == 3)
        fixed += (p2 = job.sizes.nSize2 * kMiB);
    // Refused before the old table goes: the last size would wrap around.
    if (job.nCount < 0 || job.nCount > 3 || (job.nCount > 0 && fixed >= d)) {
        COMN_LOG("%s : %s : %d partitions do not fit! nCount:%d, disk:%lld", job.nCount,
                 static_cast<long long>(disk->size));
        run.Fail(FormatError::NotCreated);
        return;
    }
    if (job.nCount == 1)
        p1 = d - v4;
    else if (job.nCount == 2)
        p2 = d - fixed;
    else if (job.nCount == 3)
        p3 = d - fixed;

    if (!kx_part_delete_all(disk)) {
        COMN_LOG("%s : %s : %d delete partitions error! %s", devPath.c_str());
        run.Fail(FormatError::NotCleared);
        return;
    }
    run.stopCode = FormatError::NotCreated;
    // A table Windows did not pick up in time is re-read by restarting the
    // device; the disk handle is stale from here on.
    bool bCreated = kx_part_create_pnum(disk, job.nCount, p1, p2, p3, v4) != 0;
    if (!bCreated) {
        COMN_LOG("%s : %s : %d create partitions failed, restarting the device! %s", devPath.c_str());
        // The restart helps a table Windows did not pick up in time; one
        // that never reached the disk must not pass for created.
        if (m_beforeRestart)
            m_beforeRestart();
        bCreated = RestartSelectedDevice() && SelectedDiskHoldsTable(job.nCount + 1);
    }
    if (!bCreated) {
        run.Fail(FormatError::NotCreated);
        return;
    }
    if (job.nFormatFlag == 0) {
        run.Done(false);
        return;
    }

    device = m_selection.Get();
    disk = device && device->path ? kx_disk_get(device->path) : nullptr;
    if (!disk || !kx_disk_ready(disk)) {
        COMN_LOG("%s : %s : %d disk not ready!");
        run.Fail(FormatError::NotCreated);
        return;
    }
    run.Progress(FormatStage::Partitioned);
    if (FormatPublicPartitions(disk, device->path, job.nCount, run))
        run.Done(true);
}

bool CFormatDevice::DiskAnswers(const std::string& devPath)
{
    ByteBuffer sector;
    return m_regionOpt.ReadString(Utf8ToWide(devPath).c_str(), 0, sector, kRegionSectorSize, nullptr) == 0;
}

// Done only when each of the nCount public partitions was formatted and its
// volume answers with the label asked for: partitions that never showed, or
// a disk that went away, are no success.
bool CFormatDevice::FormatPublicPartitions(kx_disk* disk, const std::string& devPath, int nCount, Run& run)
{
    int n = 1;
    for (size_t index = 0; n <= nCount; ++index) {
        PedWinPart* part = PartitionAt(disk, index);
        if (!part)
            break;
        if (part->private_volume || part->kind != KX_FS_NTFS)
            continue;  // the system partition and anything not public NTFS
        run.stopCode = FormatError::NotFormatted;
        run.nStopParam = n;
        const std::string label = PublicPartitionLabel(n);
        m_nFormatting = n;
        m_pFormatting = part;
        const int nRet = kx_part_format(part, nullptr, label.c_str(), 1, 0);
        m_pFormatting = nullptr;
        if (nRet != 0 || !part->name || label != part->name) {
            COMN_LOG("%s : %s : %d format partition %d error - %d", n, nRet);
            run.Fail(DiskAnswers(devPath) ? FormatError::NotFormatted : FormatError::DiskGone, n);
            return false;
        }
        ++n;
    }
    if (n <= nCount) {
        COMN_LOG("%s : %s : %d public partition %d not found!", n);
        run.Fail(DiskAnswers(devPath) ? FormatError::NotFormatted : FormatError::DiskGone, n);
        return false;
    }
    return true;
}

bool CFormatDevice::SelectedDiskHoldsTable(int nPrimary)
{
    kx_device* device = m_selection.Get();
    kx_disk* disk = device && device->path ? kx_disk_get(device->path) : nullptr;
    if (disk && disk->primary == nPrimary && disk->extended == 0 && disk->logical == 0)
        return true;
    COMN_LOG("%s : %s : %d the new table is not on the disk! primary:%d", disk ? disk->primary : -1);
    return false;
}

bool CFormatDevice::RestartSelectedDevice()
{
    kx_device* device = m_selection.Get();
    if (!device || !device->path)
        return false;
    char usbId[KX_USB_ID_SIZE] = {};
    if (!kx_dev_restart(device->path, usbId))
        return false;
    // The search frees the old list, the old handle with it.
    kx_device* found = nullptr;
    const bool bFound = kx_dev_get_dev_restart(&found, usbId) && found;
    m_selection.Set(bFound ? found : nullptr);
    return bFound;
}
