// Starting, running and ending the worker's thread.
#include "app/core/firmware/UpgradeHandleThread.h"

#include <exception>
#include <new>

#include "app/core/log/ComnLog.h"
#include "app/core/jobs/WorkerMessages.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

// ERROR_GEN_FAILURE: an upgrade stopped for a reason the codes do not name.
constexpr int kUpgradeStopped = 31;

}  // namespace

CUpgradeHandleThread::~CUpgradeHandleThread() { Wait(); }

void CUpgradeHandleThread::SetOperation(int nOperation) { m_nOperation = nOperation; }

void CUpgradeHandleThread::SetWindow(WorkerNotify* pWindow) { m_pWindow = pWindow; }

void CUpgradeHandleThread::SetJob(int nOperation, std::u16string_view imagePath, std::u16string_view devPath)
{
    m_nOperation = nOperation;
    m_imagePath = imagePath;
    m_devPath = devPath;
}

void CUpgradeHandleThread::SetProgress(UpgradeProgress* pProgress) { m_pProgress = pProgress; }

void CUpgradeHandleThread::Start()
{
    Wait();
    m_stopRequested = false;
    Job job{m_nOperation, m_imagePath, m_devPath, m_pWindow};
    m_thread = std::thread([this, job = std::move(job)] { ThreadRoutine(job); });
}

void CUpgradeHandleThread::Wait()
{
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();  // ended from its own message handler: only its return is left
    else
        m_thread.join();
}

void CUpgradeHandleThread::ThreadRoutine(const Job& job)
{
    if (job.nOperation != kWorkerProbe && job.nOperation != kWorkerUpgrade && job.nOperation != kWorkerVerify)
        return;  // nothing to do, nothing to report
    const int nResult = RunJob(job);
    if (!job.pWindow)
        return;
    try {
        job.pWindow->post(WM_WORKER_DONE, static_cast<std::uintptr_t>(job.nOperation), nResult);
    } catch (...) {
        COMN_LOG("%s : %s : %d worker result not delivered! nOperation:%d, nResult:%d", job.nOperation, nResult);
    }
}

// No exception leaves the thread: a job stopped by one still ends in a
// message, and an upgrade in a failure code, never in success.
int CUpgradeHandleThread::RunJob(const Job& job)
{
    try {
        if (job.nOperation == kWorkerProbe) {
            kx_dev_probe();  // the page reads the new list itself
            return 0;
        }
        if (job.nOperation == kWorkerVerify) {
            UpgradeFileHeader header;
            return m_fileOpt.CheckUpgradeFile(job.imagePath.c_str(), header) == 0 ? 0 : kUpgradeFileNotVerified;
        }
        return UpgradeDeviceInThread(job.imagePath, job.devPath);
    } catch (const std::bad_alloc&) {
        COMN_LOG("%s : %s : %d worker out of memory! nOperation:%d", job.nOperation);
        return job.nOperation == kWorkerProbe ? 0 : static_cast<int>(win::ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& e) {
        COMN_LOG("%s : %s : %d worker stopped! nOperation:%d, %s", job.nOperation, e.what());
    } catch (...) {
        COMN_LOG("%s : %s : %d worker stopped! nOperation:%d", job.nOperation);
    }
    return job.nOperation == kWorkerProbe ? 0 : kUpgradeStopped;
}
