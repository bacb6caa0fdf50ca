#include "common/kx_lock.h"

#include <atomic>

#include "platform/win_api.h"

namespace kx {

namespace {

std::atomic<win::HANDLE> libraryLock{nullptr};

}  // namespace

void createLibraryLock()
{
    // A second start-up keeps the first mutex: threads already holding it
    // must keep excluding the others.
    if (libraryLock.load())
        return;
    win::HANDLE created = win::CreateMutexA(nullptr, win::FALSE, nullptr);
    win::HANDLE expected = nullptr;
    if (created && !libraryLock.compare_exchange_strong(expected, created))
        win::CloseHandle(created);
}

void closeLibraryLock()
{
    if (win::HANDLE lock = libraryLock.exchange(nullptr))
        win::CloseHandle(lock);
}

void takeLibraryLock()
{
    if (win::HANDLE lock = libraryLock.load())
        win::WaitForSingleObject(lock, win::INFINITE);
}

void releaseLibraryLock()
{
    if (win::HANDLE lock = libraryLock.load())
        win::ReleaseMutex(lock);
}

void sleepUnlocked(win::DWORD milliseconds)
{
    releaseLibraryLock();
    win::Sleep(milliseconds);
    takeLibraryLock();
}

}  // namespace kx
