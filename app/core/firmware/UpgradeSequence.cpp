// The firmware upgrade of the selected device, step by step.
#include <algorithm>
#include <cstring>
#include <future>

#include "app/core/firmware/ByteBuffer.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/firmware/UpgradeJobFiles.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/jobs/DiskJobLock.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/WideText.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

std::u16string AnsiToWide(const char* text)
{
    const int needed = win::MultiByteToWideChar(win::CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1)
        return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    win::MultiByteToWideChar(win::CP_ACP, 0, text, -1, out.data(), needed);
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}

}  // namespace

std::u16string CUpgradeHandleThread::GetUpgradeFilePath(int nCode)
{
    char folder[win::MAX_PATH] = {};
    if (!win::SHGetSpecialFolderPathA(nullptr, folder, win::CSIDL_COMMON_TEMPLATES, win::FALSE))
        return {};
    std::u16string path = AnsiToWide(folder);
    if (path.empty())
        return {};
    const UpgradeRegion* region = FindUpgradeRegion(nCode);
    if (region && nCode >= UPGRADE_TYPE_LOADER && nCode <= UPGRADE_TYPE_MBR)
        path += u"\\" + Utf8ToWide(region->pName);
    return path;
}

// Progress is only shown: a display that fails never stops an upgrade.
void CUpgradeHandleThread::Report(UpgradeStage stage)
{
    UpgradeProgress* progress = m_pProgress.load();
    if (!progress)
        return;
    try {
        progress->stageStarted(stage);
    } catch (...) {
        COMN_LOG("%s : %s : %d progress not shown! stage:%d", static_cast<int>(stage));
    }
}

int CUpgradeHandleThread::UpgradeDeviceInThread(std::u16string imagePath, std::u16string devPath)
{
    // The region buffers are reused from step to step, and let go at the end.
    struct BuffersLetGo {
        ~BuffersLetGo() { ReleaseCachedBuffers(); }
    } buffersLetGo;
    m_restart = RestartOutcome::NotTried;
    Report(UpgradeStage::Verifying);
    // What is verified is what is written: the parts are read once, and the
    // checksum is taken over that memory.
    RegionSources sources;
    if (ReadVerifiedSources(imagePath, sources) != 0) {
        COMN_LOG("%s : %s : %d handle Upgrade file fail!");
        return CodeOf(UpgradeResult::FileNotVerified);
    }
    if (StopAsked("before the disk was taken"))
        return CodeOf(UpgradeResult::Quit);
    // The disk is this job's from before its parts are extracted to the end
    // of its restart. A disk that is not a USB disk, or no folder for the
    // lock, is left to the steps below, which refuse them with their codes.
    const DiskJobLock lock = DiskJobLock::Take(WideToUtf8(devPath).c_str(), DiskJobKind::Upgrade);
    if (lock.Busy()) {
        COMN_LOG("%s : %s : %d disk not taken! %s", lock.Refusal().c_str());
        return CodeOf(UpgradeResult::DiskBusy);
    }
    // Parts of this job's own: no job on another disk writes them meanwhile.
    const UpgradeJobFiles files(GetUpgradeFilePath());
    Report(UpgradeStage::Extracting);
    if (!files.Usable())
        return kKernelFileNotWritten;  // never extract to the root of some drive
    // The extracted files are written beside the disk, not before it; the
    // flags wait for them, so a failed one still leaves the appliance alone.
    std::future<int> extracted = std::async(std::launch::async | std::launch::deferred,
                                            [&] { return WriteExtractedFiles(files, sources); });
    struct Joined {
        std::future<int>& files;
        ~Joined()
        {
            if (files.valid())
                files.wait();
        }
    } joined{extracted};
    if (!BeginWriting())
        return CodeOf(UpgradeResult::Quit);
    if (int nRet = UpgradeDeviceInfo(devPath.c_str(), sources); nRet != 0) {
        COMN_LOG("%s : %s : %d Write Upgrade file fail!");
        return nRet;
    }
    if (int nRet = CheckWriteInfo(devPath.c_str(), sources); nRet != 0) {
        COMN_LOG("%s : %s : %d check Upgrade file fail!");
        return nRet;
    }
    if (int nRet = extracted.get(); nRet != 0) {
        COMN_LOG("%s : %s : %d handle Upgrade file fail!");
        return nRet;
    }
    if (int nRet = MarkUpgradeFlags(devPath.c_str()); nRet != 0) {
        COMN_LOG("%s : %s : %d check Upgrade file fail!");
        return nRet;
    }
    COMN_LOG("%s : %s : %d Device upgrade success!");
    // The firmware is in place: what the restart does shows only in the
    // selected device, never in the result.
    Report(UpgradeStage::Restarting);
    RestartSelectedDevice();
    return CodeOf(UpgradeResult::Succeeded);
}

bool CUpgradeHandleThread::StopAsked(const char* where)
{
    if (m_stopPhase != StopPhase::Stopping)
        return false;
    COMN_LOG("%s : %s : %d upgrade stopped on quit %s: the device is as it was", where);
    return true;
}

bool CUpgradeHandleThread::BeginWriting()
{
    StopPhase running = StopPhase::Running;
    if (m_stopPhase.compare_exchange_strong(running, StopPhase::Writing))
        return true;
    return !StopAsked("before the first write");
}

bool CUpgradeHandleThread::RequestStop()
{
    StopPhase running = StopPhase::Running;
    return m_stopPhase.compare_exchange_strong(running, StopPhase::Stopping) || running == StopPhase::Stopping;
}

int CUpgradeHandleThread::ReadVerifiedSources(const std::u16string& imagePath, RegionSources& sources)
{
    CFileUpgradeOpt::RegionPart kernel{UPGRADE_TYPE_KERNEL, FindUpgradeRegion(UPGRADE_TYPE_KERNEL)->nMaxSize,
                                       &sources.kernel};
    CFileUpgradeOpt::RegionPart rootfs{UPGRADE_TYPE_ROOTFS, FindUpgradeRegion(UPGRADE_TYPE_ROOTFS)->nMaxSize,
                                       &sources.rootfs};
    UpgradeFileHeader header;
    const int nRet = m_fileOpt.ReadVerifiedParts(imagePath.c_str(), header, kernel, rootfs);
    sources.nKernel = kernel.nImageBytes;
    sources.nRootfs = rootfs.nImageBytes;
    return nRet;
}

// A published file that already holds this job's part is left as it is:
// an appliance line upgrades many disks from one image, and rewriting the
// same bytes costs the host's disk as much as the appliance's.
int CUpgradeHandleThread::WriteExtractedFiles(const UpgradeJobFiles& files, const RegionSources& sources)
{
    const struct {
        int nType;
        const ByteBuffer& data;
        std::uint32_t nBytes;
        int nFailure;
    } parts[] = {{UPGRADE_TYPE_KERNEL, sources.kernel, sources.nKernel, kKernelFileNotWritten},
                 {UPGRADE_TYPE_ROOTFS, sources.rootfs, sources.nRootfs, kRootfsFileNotWritten}};
    for (const auto& part : parts) {
        if (m_fileOpt.FileHolds(files.Published(part.nType).c_str(), part.data.data(), part.nBytes))
            continue;
        if (m_fileOpt.WriteUpgradeFile(files.Path(part.nType).c_str(), part.data.data(), part.nBytes, nullptr) != 0)
            return part.nFailure;
    }
    return 0;
}

int CUpgradeHandleThread::UpgradeDeviceInfo(const char16_t* pDevPath, const RegionSources& sources)
{
    Report(UpgradeStage::WritingKernel);
    if (int nRet = m_deviceOpt.WriteDeviceRegion(pDevPath, UPGRADE_TYPE_KERNEL, sources.kernel); nRet != 0) {
        COMN_LOG("%s : %s : %d write kennel error - %d", nRet);
        return nRet;
    }
    Report(UpgradeStage::WritingRootfs);
    if (int nRet = m_deviceOpt.WriteDeviceRegion(pDevPath, UPGRADE_TYPE_ROOTFS, sources.rootfs); nRet != 0) {
        COMN_LOG("%s : %s : %d write rootfs error - %d", nRet);
        return nRet;
    }
    return 0;
}

int CUpgradeHandleThread::CheckWriteInfo(const char16_t* pDevPath, const RegionSources& sources)
{
    Report(UpgradeStage::Checking);
    if (int nRet = CheckRegion(pDevPath, UPGRADE_TYPE_KERNEL, sources.kernel); nRet != 0) {
        COMN_LOG("%s : %s : %d check kennel error - %d", nRet);
        return nRet;
    }
    if (int nRet = CheckRegion(pDevPath, UPGRADE_TYPE_ROOTFS, sources.rootfs); nRet != 0) {
        COMN_LOG("%s : %s : %d check rootfs error - %d", nRet);
        return nRet;
    }
    return 0;
}

// Large enough that a piece costs one open and one read, small enough that
// it adds little to the two regions already held.
constexpr std::uint32_t kReadBackPiece = 4 * 1024 * 1024;

// The region read back in large pieces against its source, all of it (a
// CRC-16 that matches proves little), the zeros after the part included.
int CUpgradeHandleThread::CheckRegion(const char16_t* pDevPath, int nUpgradeType, const ByteBuffer& source)
{
    const UpgradeRegion* region = FindUpgradeRegion(nUpgradeType);
    if (!region || source.size() != region->nMaxSize)
        return kDevicePathRefused;
    ByteBuffer piece;
    for (std::uint32_t done = 0; done < region->nMaxSize;) {
        const std::uint32_t nCount = std::min(kReadBackPiece, region->nMaxSize - done);
        if (int nRet = m_deviceOpt.ReadString(pDevPath, region->nSeek + done, piece, nCount, nullptr); nRet != 0)
            return nRet;
        if (std::memcmp(piece.data(), source.data() + done, nCount) != 0)
            return kRegionDiffers;
        done += nCount;
    }
    return 0;
}

int CUpgradeHandleThread::MarkUpgradeFlags(const char16_t* pDevPath)
{
    Report(UpgradeStage::MarkingFlags);
    // The kernel bit is left as it is.
    for (int nType : {UPGRADE_TYPE_LOADER, UPGRADE_TYPE_ROOTFS, UPGRADE_TYPE_UBOOT})
        if (int nRet = m_deviceOpt.SetUpgradeFlag(pDevPath, nType, 1); nRet != 0)
            return nRet;
    return 0;
}

void CUpgradeHandleThread::RestartSelectedDevice()
{
    kx_device* device = m_selection.Get();
    if (!device || !device->path)
        return;  // nothing to restart; stays none
    char usbId[KX_USB_ID_SIZE] = {};
    if (!kx_dev_restart(device->path, usbId)) {
        m_restart = RestartOutcome::Failed;
        return;  // not restarted: the handle is still good
    }
    // The search frees the old list, the old handle with it.
    kx_device* found = nullptr;
    const bool back = kx_dev_get_dev_restart(&found, usbId) && found;
    m_selection.Set(back ? found : nullptr);
    m_restart = back ? RestartOutcome::Back : RestartOutcome::NotBack;
}
