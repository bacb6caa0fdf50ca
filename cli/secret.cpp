#include "cli/secret.h"

#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace cli {

namespace {

std::size_t pageSize()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

// No core dump while a secret is held; the old setting comes back after.
std::mutex holdersLock;
int holders = 0;
int savedDumpable = 0;

void holdNoCoreDumps()
{
    std::lock_guard guard(holdersLock);
    if (holders++ == 0) {
        savedDumpable = ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
        ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    }
}

void releaseNoCoreDumps()
{
    std::lock_guard guard(holdersLock);
    if (--holders == 0 && savedDumpable > 0)
        ::prctl(PR_SET_DUMPABLE, savedDumpable, 0, 0, 0);
}

}  // namespace

Secret::Secret()
{
    void* page = ::mmap(nullptr, pageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        throw std::bad_alloc();
    // Never swapped out, never in a dump; both are best effort.
    ::mlock(page, pageSize());
    ::madvise(page, pageSize(), MADV_DONTDUMP);
    page_ = static_cast<char*>(page);
    holdNoCoreDumps();
}

Secret::~Secret() { release(); }

Secret::Secret(Secret&& other) noexcept : page_(std::exchange(other.page_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

Secret& Secret::operator=(Secret&& other) noexcept
{
    if (this != &other) {
        release();
        page_ = std::exchange(other.page_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool Secret::append(char c)
{
    if (!page_ || size_ >= kCapacity)
        return false;
    page_[size_++] = c;
    return true;
}

void Secret::dropLast()
{
    if (size_ > 0)
        page_[--size_] = 0;
}

void Secret::release()
{
    if (!page_)
        return;
    ::explicit_bzero(page_, pageSize());
    ::munlock(page_, pageSize());
    ::munmap(page_, pageSize());
    page_ = nullptr;
    size_ = 0;
    releaseNoCoreDumps();
}

}  // namespace cli
