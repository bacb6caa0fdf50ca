#include "host/host_disk_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <thread>
#include <vector>

#include "host/host_roots.h"
#include "host/uevents.h"

namespace host {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A plug is a burst (the USB device, then its disk, then the disk's
// partitions): what follows within this quiet spell is taken in with it.
constexpr milliseconds kBurstQuiet(100);
constexpr milliseconds kBurstMost(500);

std::string firstLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// poll() to the deadline, through signals; 0 when it passed.
int pollUntil(pollfd* fds, nfds_t count, Clock::time_point deadline)
{
    for (;;) {
        const int ready = ::poll(fds, count, msUntil(deadline));
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

}  // namespace

std::string blockDeviceList()
{
    std::vector<std::string> lines;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(sysfsRoot() / "block", ec))
        lines.push_back(entry.path().filename().string() + " " + firstLine(entry.path() / "dev") + " " +
                        firstLine(entry.path() / "size"));
    std::sort(lines.begin(), lines.end());
    std::string list;
    for (const auto& line : lines)
        list += line + "\n";
    return list;
}

HostDiskWatch::HostDiskWatch() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HostDiskWatch::~HostDiskWatch()
{
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void HostDiskWatch::interrupt()
{
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0 && ::write(wakeFd_, &one, sizeof one) < 0) {
        // Already at its limit: it wakes every wait all the same.
    }
}

bool HostDiskWatch::wait(milliseconds timeout, bool following)
{
    if (!following) {
        watching_ = false;
        uevents_.reset();
        blockList_.reset();
        sleep(timeout);
        return false;
    }
    if (!watching_) {
        watching_ = true;
        // A test tree's disks come and go without the kernel knowing.
        if (sysfsRoot() == "/sys") {
            uevents_ = std::make_unique<UeventSocket>();
            if (!uevents_->open())
                uevents_.reset();
        }
        if (!uevents_)
            blockList_ = blockDeviceList();
        return true;
    }
    return uevents_ ? waitForUevents(timeout) : waitForListChange(timeout);
}

bool HostDiskWatch::waitForUevents(milliseconds timeout)
{
    pollfd fds[2] = {{uevents_->fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const nfds_t count = wakeFd_ >= 0 ? 2 : 1;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const int ready = pollUntil(fds, count, deadline);
        if (ready < 0)  // never seen; must not turn the watch into a spin
            std::this_thread::sleep_until(deadline);
        if (ready <= 0 || (count == 2 && fds[1].revents))
            return false;
        if (fds[0].revents & POLLNVAL) {  // the socket is gone: look at the list from now on
            uevents_.reset();
            blockList_ = blockDeviceList();
            return true;
        }
        if (uevents_->drain())
            break;
    }
    const auto most = Clock::now() + kBurstMost;
    while (Clock::now() < most) {
        if (pollUntil(fds, count, std::min(most, Clock::now() + kBurstQuiet)) <= 0 ||
            (count == 2 && fds[1].revents))
            break;
        uevents_->drain();
    }
    return true;
}

bool HostDiskWatch::waitForListChange(milliseconds timeout)
{
    if (!sleep(timeout))
        return false;
    std::string now = blockDeviceList();
    if (now == *blockList_)
        return false;
    blockList_ = std::move(now);
    return true;
}

bool HostDiskWatch::sleep(milliseconds timeout)
{
    if (wakeFd_ < 0) {
        std::this_thread::sleep_for(timeout);
        return true;
    }
    pollfd wake{wakeFd_, POLLIN, 0};
    const auto deadline = Clock::now() + timeout;
    const int ready = pollUntil(&wake, 1, deadline);
    if (ready < 0)
        std::this_thread::sleep_until(deadline);
    return ready <= 0;
}

}  // namespace host
