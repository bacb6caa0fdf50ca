// A worker process: this same program run with other arguments, with a
// library of its own. Its output and errors come through one pipe, its
// input goes through another.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cli {

class ChildProcess {
public:
    // Starts the program with these arguments (after its own name). Throws
    // CommandFailure when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& args);
    ~ChildProcess();  // a worker still running is stopped
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int outputFd() const { return out_; }
    // The whole lines that arrived; false once the output has ended.
    bool readLines(std::vector<std::string>& lines);
    // A line to the worker's input; false when it no longer reads.
    bool tell(const std::string& line);
    // Passes a signal on to the worker while it runs.
    void signal(int number);
    // Its exit code (128 + the signal when one ended it); waits for it.
    int wait();
    // The signal that ended it, or 0 when it exited (its code may still be
    // over 128); valid after wait().
    int endingSignal() const { return signal_; }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string partial_;
    bool waited_ = false;
    int code_ = -1;
    int signal_ = 0;
};

}  // namespace cli
