#include "cli/job_stop.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

#include "cli/command_line.h"

namespace cli {

namespace {

std::mutex scopesMutex;
std::vector<const StopScope::Answer*> scopes;  // the innermost last
std::atomic<bool> asked{false};
std::atomic<int> lastNumber{0};
std::atomic<bool> lastFromTerminal{false};

// Straight to the descriptor: the main thread may be in the middle of a
// line of its own on the same stream.
void say(const std::string& text, bool ownLine = false)
{
    const std::string line = (ownLine ? "\n" : "") + ("orvane: " + text + "\n");
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void answer(const CaughtSignal& caught)
{
    std::lock_guard lock(scopesMutex);
    if (scopes.empty() || !*scopes.back()) {
        // Nothing is being written: what the command printed so far is
        // kept, the rest of it is not done. A question is answered on a
        // line of its own.
        std::fflush(stdout);
        say("stopped; nothing was written", !scopes.empty());
        ::_exit(kStopped);
    }
    lastNumber = caught.number;
    lastFromTerminal = caught.fromTerminal;
    asked = true;
    if (const std::string text = (*scopes.back())(caught); !text.empty())
        say(text);
}

[[noreturn]] void watch(sigset_t set)
{
    for (;;) {
        siginfo_t info{};
        if (::sigwaitinfo(&set, &info) < 0)
            continue;
        answer({info.si_signo, info.si_code == SI_KERNEL});
    }
}

}  // namespace

void watchStopSignals()
{
    sigset_t set;
    ::sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(watch, set).detach();
}

StopScope::StopScope(Answer answer) : answer_(std::move(answer))
{
    std::lock_guard lock(scopesMutex);
    scopes.push_back(&answer_);
}

StopScope::~StopScope()
{
    std::lock_guard lock(scopesMutex);
    std::erase(scopes, &answer_);
}

bool stopAsked() { return asked; }

CaughtSignal lastStop() { return {lastNumber, lastFromTerminal}; }

void stopIfAsked(const std::string& what)
{
    if (asked)
        throw Stopped(what);
}

void WorkerStop::idle(std::string text)
{
    std::lock_guard lock(mutex_);
    idle_ = std::move(text);
}

void WorkerStop::running(std::function<bool()> stop, std::string finishing)
{
    std::lock_guard lock(mutex_);
    stop_ = std::move(stop);
    finishing_ = std::move(finishing);
    // Told "stopping" before the worker started, which may since have
    // begun to write: say so if it has.
    if (asked && !stop_())
        say(finishing_);
}

void WorkerStop::ended()
{
    std::lock_guard lock(mutex_);
    stop_ = nullptr;
}

std::string WorkerStop::operator()(const CaughtSignal&)
{
    std::lock_guard lock(mutex_);
    if (stop_ && !stop_())
        return finishing_;
    return idle_;
}

}  // namespace cli
