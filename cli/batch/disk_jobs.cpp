#include "cli/batch/disk_jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "cli/batch/child_process.h"
#include "cli/batch/worker_report.h"
#include "cli/command_line.h"
#include "cli/job_stop.h"
#include "cli/library_session.h"
#include "cli/upgrade_display.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

enum class State { Pending, Running, Waiting, Restarting, Ended };

// A worker a signal ended, by the signal's number and name: its code
// (128 + the number) reads like an exit of its own.
std::string killedBy(int number)
{
    std::string words = "the worker was killed by signal " + std::to_string(number);
    if (const char* name = ::sigabbrev_np(number))
        words += std::string(" (SIG") + name + ")";
    return words;
}

struct Slot {
    State state = State::Pending;
    std::unique_ptr<ChildProcess> worker;
    Clock::time_point started;
    int percent = 0;
    std::string result, error;
    std::string afterRestart;  // where the disk is now, when not where it was
};

// Signals reach the scheduler through a pipe it watches with its workers:
// the signal thread only writes a byte or two.
class SignalPipe {
public:
    SignalPipe()
    {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~SignalPipe()
    {
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    int readFd() const { return fds_[0]; }
    void put(const CaughtSignal& s)
    {
        const unsigned char bytes[2] = {static_cast<unsigned char>(s.number), static_cast<unsigned char>(s.fromTerminal ? 1 : 0)};
        if (fds_[1] >= 0 && ::write(fds_[1], bytes, sizeof bytes) != sizeof bytes) {
            // Full: the scheduler has plenty to read already.
        }
    }
    std::vector<CaughtSignal> take()
    {
        std::vector<CaughtSignal> caught;
        unsigned char bytes[2];
        while (fds_[0] >= 0 && ::read(fds_[0], bytes, sizeof bytes) == sizeof bytes)
            caught.push_back({bytes[0], bytes[1] != 0});
        return caught;
    }

private:
    int fds_[2] = {-1, -1};
};

class Scheduler {
public:
    Scheduler(const std::vector<DiskJob>& jobs, std::size_t atOnce, BatchDisplay& display)
        : jobs_(jobs), slots_(jobs.size()), atOnce_(atOnce == 0 ? jobs.size() : atOnce), display_(display)
    {
    }

    std::vector<DiskJobEnd> run()
    {
        // The workers decide for their own disks; this process keeps reading
        // them, so that the table shows how each disk ended.
        const StopScope stopping([this](const CaughtSignal& s) {
            signals_.put(s);
            return std::string();
        });
        while (step()) {
        }
        return end_;
    }

private:
    std::size_t count(State s) const
    {
        return static_cast<std::size_t>(
            std::count_if(slots_.begin(), slots_.end(), [s](const Slot& slot) { return slot.state == s; }));
    }
    std::size_t busy() const { return count(State::Running) + count(State::Waiting) + count(State::Restarting); }

    // Restarts only while nothing else moves data, all the waiting ones
    // together (each reaches the others' disks anyway); new work only when
    // no restart is pending.
    void schedule()
    {
        if (count(State::Restarting) == 0 && count(State::Running) == 0)
            for (std::size_t i = 0; i < slots_.size(); ++i)
                if (slots_[i].state == State::Waiting) {
                    slots_[i].state = State::Restarting;
                    display_.show(i, slots_[i].percent, "restarting device");
                    slots_[i].worker->tell("go");
                }
        if (count(State::Waiting) + count(State::Restarting) > 0)
            return;
        if (stopping_) {
            for (std::size_t i = 0; i < slots_.size(); ++i)
                if (slots_[i].state == State::Pending) {
                    slots_[i].error = "not started; nothing was written";
                    slots_[i].started = Clock::now();
                    finish(i, kStopped);
                }
            return;
        }
        for (std::size_t i = 0; i < slots_.size() && busy() < atOnce_; ++i)
            if (slots_[i].state == State::Pending)
                start(i);
    }

    void start(std::size_t i)
    {
        Slot& slot = slots_[i];
        slot.started = Clock::now();
        slot.state = State::Running;
        try {
            slot.worker = std::make_unique<ChildProcess>(jobs_[i].args);
            display_.show(i, 0, "started");
        } catch (const std::exception& e) {
            slot.error = e.what();
            finish(i, 127);
        }
    }

    void finish(std::size_t i, int code)
    {
        Slot& slot = slots_[i];
        slot.state = State::Ended;
        DiskJobEnd end;
        end.exitCode = code;
        end.seconds = std::chrono::duration<double>(Clock::now() - slot.started).count();
        end.words = !slot.result.empty() ? slot.result
                    : !slot.error.empty() ? slot.error
                    : slot.worker && slot.worker->endingSignal() ? killedBy(slot.worker->endingSignal())
                                                                 : "the worker ended with code " + std::to_string(code);
        if (!slot.afterRestart.empty())
            end.words += " (" + slot.afterRestart + ")";
        end_[i] = end;
        const bool written = code == kSuccess || code == kRestartByHand;
        display_.show(i, written ? 100 : slot.percent,
                      code == kSuccess         ? "done"
                      : written                ? "written; unplug and plug in again"
                      : code == kStopped       ? "stopped; nothing was written"
                                               : "failed");
    }

    void heard(std::size_t i, const std::string& line)
    {
        Slot& slot = slots_[i];
        const WorkerReport report = readWorkerLine(line);
        switch (report.kind) {
        case WorkerReport::Kind::Progress:
            slot.percent = report.percent;
            display_.show(i, report.percent, report.text);
            break;
        case WorkerReport::Kind::Stage:
            slot.percent = 0;  // a stage of its own, counted from its start
            display_.show(i, 0, report.text);
            break;
        case WorkerReport::Kind::WaitingToRestart:
            slot.state = State::Waiting;
            display_.show(i, slot.percent, report.text);
            break;
        case WorkerReport::Kind::Result: slot.result = report.text; break;
        case WorkerReport::Kind::Error: slot.error = report.text; break;
        case WorkerReport::Kind::SignalAnswer: display_.show(i, slot.percent, report.text); break;
        case WorkerReport::Kind::Other: noteRestart(i, line); break;
        }
    }

    void noteRestart(std::size_t i, const std::string& line)
    {
        static const std::string back = "The disk is back as ", notBack = "The disk did not come back";
        if (line.rfind(kRestartByHandText, 0) == 0)
            slots_[i].afterRestart = "not restarted: unplug it and plug it in again";
        else if (line.rfind(notBack, 0) == 0)
            slots_[i].afterRestart = "it did not come back after its restart";
        else if (line.rfind(back, 0) == 0 && line.size() > back.size() + 1 &&
                 line.compare(back.size(), line.size() - back.size() - 1, jobs_[i].disk) != 0)
            slots_[i].afterRestart = "back as " + line.substr(back.size(), line.size() - back.size() - 1);
    }

    // A terminal's signal reached the workers with this process; any other
    // is passed on, so a service manager's stop reaches every disk.
    void heardSignals()
    {
        for (const CaughtSignal& s : signals_.take()) {
            if (!stopping_)
                display_.note(
                    "stopping: disks not yet written stop before their first write; others finish");
            stopping_ = true;
            if (s.fromTerminal && s.number == SIGINT)
                continue;
            for (Slot& slot : slots_)
                if (slot.state != State::Pending && slot.state != State::Ended)
                    slot.worker->signal(s.number);
        }
    }

    // False once every job has ended.
    bool step()
    {
        schedule();
        std::vector<pollfd> fds;
        std::vector<std::size_t> owners;
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].state != State::Pending && slots_[i].state != State::Ended) {
                fds.push_back({slots_[i].worker->outputFd(), POLLIN, 0});
                owners.push_back(i);
            }
        if (fds.empty())
            return count(State::Pending) > 0;
        fds.push_back({signals_.readFd(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            throw CommandFailure(std::string("cannot watch the workers: ") + std::strerror(errno));
        if (fds.back().revents)
            heardSignals();
        fds.pop_back();
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (!fds[k].revents)
                continue;
            const std::size_t i = owners[k];
            std::vector<std::string> lines;
            const bool open = slots_[i].worker->readLines(lines);
            for (const auto& line : lines)
                heard(i, line);
            if (!open)
                finish(i, slots_[i].worker->wait());
        }
        return true;
    }

    const std::vector<DiskJob>& jobs_;
    std::vector<Slot> slots_;
    std::size_t atOnce_;
    BatchDisplay& display_;
    std::vector<DiskJobEnd> end_ = std::vector<DiskJobEnd>(jobs_.size());
    SignalPipe signals_;
    bool stopping_ = false;
};

}  // namespace

std::vector<DiskJobEnd> runDiskJobs(const std::vector<DiskJob>& jobs, std::size_t atOnce, BatchDisplay& display)
{
    return Scheduler(jobs, atOnce, display).run();
}

}  // namespace cli
