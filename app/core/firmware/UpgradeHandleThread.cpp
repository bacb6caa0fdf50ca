// Starting, running and ending the worker's thread.
#include "app/core/firmware/UpgradeHandleThread.h"

#include <exception>
#include <new>

#include "app/core/jobs/WorkerMessages.h"
#include "app/core/log/ComnLog.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

// ERROR_GEN_FAILURE: an upgrade stopped for a reason the codes do not name.
constexpr int kUpgradeStopped = 31;

}  // namespace

CUpgradeHandleThread::~CUpgradeHandleThread() { Wait(); }

void CUpgradeHandleThread::SetOperation(WorkerOperation operation) { m_operation = operation; }

void CUpgradeHandleThread::SetWindow(WorkerNotify* pWindow) { m_pWindow = pWindow; }

void CUpgradeHandleThread::SetJob(WorkerOperation operation, std::u16string_view imagePath, std::u16string_view devPath)
{
    m_operation = operation;
    m_imagePath = imagePath;
    m_devPath = devPath;
}

void CUpgradeHandleThread::SetProgress(UpgradeProgress* pProgress) { m_pProgress = pProgress; }

void CUpgradeHandleThread::Start()
{
    Wait();
    m_stopPhase = StopPhase::Running;
    Job job{m_operation, m_imagePath, m_devPath, m_pWindow};
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
    if (job.operation != WorkerOperation::Probe && job.operation != WorkerOperation::Upgrade &&
        job.operation != WorkerOperation::Verify)
        return;  // nothing to do, nothing to report
    const int nResult = RunJob(job);
    if (!job.pWindow)
        return;
    try {
        job.pWindow->post(WM_WORKER_DONE, static_cast<std::uintptr_t>(CodeOf(job.operation)), nResult);
    } catch (...) {
        COMN_LOG("%s : %s : %d worker result not delivered! nOperation:%d, nResult:%d", CodeOf(job.operation), nResult);
    }
}

// No exception leaves the thread: a job stopped by one still ends in a
// message, and an upgrade in a failure code, never in success.
int CUpgradeHandleThread::RunJob(const Job& job)
{
    try {
        if (job.operation == WorkerOperation::Probe) {
            kx_dev_probe();  // the page reads the new list itself
            return 0;
        }
        if (job.operation == WorkerOperation::Verify) {
            UpgradeFileHeader header;
            const bool verified = m_fileOpt.CheckUpgradeFile(job.imagePath.c_str(), header) == 0;
            return CodeOf(verified ? UpgradeResult::Succeeded : UpgradeResult::FileNotVerified);
        }
        return UpgradeDeviceInThread(job.imagePath, job.devPath);
    } catch (const std::bad_alloc&) {
        COMN_LOG("%s : %s : %d worker out of memory! nOperation:%d", CodeOf(job.operation));
        return job.operation == WorkerOperation::Probe ? 0 : static_cast<int>(win::ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& e) {
        COMN_LOG("%s : %s : %d worker stopped! nOperation:%d, %s", CodeOf(job.operation), e.what());
    } catch (...) {
        COMN_LOG("%s : %s : %d worker stopped! nOperation:%d", CodeOf(job.operation));
    }
    return job.operation == WorkerOperation::Probe ? 0 : kUpgradeStopped;
}
