// SIGINT, SIGTERM and SIGHUP during orvane upgrade and setup do what the
// window's quit does: before the first write to the disk the job stops and
// nothing is written; once writing has begun it is finished, and the
// operator is told so. A half-written firmware or a table without its file
// systems is worse than either the old disk or the new one.
#pragma once

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

namespace cli {

struct CaughtSignal {
    int number = 0;
    // Sent by the terminal, which sends it to the whole foreground group
    // (the workers of --all included).
    bool fromTerminal = false;
};

// Blocks the three signals in the calling thread, so in every thread and
// child started after it, and waits for them on a thread of its own. Call
// before any other thread starts. The children keep the mask: the device
// restart tool and the formatters run to their end once started, and the
// workers of --all watch for themselves.
void watchStopSignals();

// What a signal is answered with while the scope lives: the answer asks
// the job to stop and returns the line shown ("orvane: " before it, on
// the error output); empty shows nothing. Scopes nest, the innermost
// answers. Without a scope, or in one made with no answer (a question
// waiting for the operator), the program ends at once with kStopped,
// saying nothing was written.
class StopScope {
public:
    using Answer = std::function<std::string(const CaughtSignal&)>;
    explicit StopScope(Answer answer);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    Answer answer_;
};

// A signal came while a scope answered it.
bool stopAsked();
// The last signal that came, for a scope that starts after it.
CaughtSignal lastStop();
// Throws Stopped(what) when a signal came.
void stopIfAsked(const std::string& what);

// The command stopped for a signal; main exits with kStopped.
struct Stopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a signal is told while a command writes a disk through a worker:
// the running worker is asked to stop; while none runs, the text of the
// moment.
class WorkerStop {
public:
    explicit WorkerStop(std::string idle) : idle_(std::move(idle)) {}
    // While no worker runs (or the running one stops before writing).
    void idle(std::string text);
    // The worker now running: stop() asks it to stop, true when it will
    // before its first write. A signal that came before it started is
    // passed on at once.
    void running(std::function<bool()> stop, std::string finishing);
    void ended();
    std::string operator()(const CaughtSignal&);

private:
    std::mutex mutex_;
    std::string idle_, finishing_;
    std::function<bool()> stop_;
};

inline constexpr const char* kStoppingNothingWritten = "stopping: nothing has been written";

}  // namespace cli
