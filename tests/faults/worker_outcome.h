// Stands for a page window: keeps what a worker sends or posts and lets the
// test wait, for a bounded time, for the message that ends its run.
#pragma once

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/jobs/WorkerNotify.h"
#include "fault_machine.h"

namespace faults {

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const Message&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << "{0x" << std::hex << m.message << std::dec << ", " << m.wParam << ", " << m.lParam << "}";
}

class WorkerOutcome : public WorkerNotify {
public:
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
        changed_.notify_all();
    }
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override { post(message, wParam, lParam); }

    // Every message so far, once one that ends the run has come. A worker
    // still running after kHangLimit hangs: its thread cannot be stopped,
    // so the program ends with the failure.
    std::vector<Message> WaitForEnd(const std::function<bool(const Message&)>& ends)
    {
        std::unique_lock lock(mutex_);
        const bool ended = changed_.wait_for(lock, kHangLimit, [&] {
            for (const auto& m : messages_)
                if (ends(m))
                    return true;
            return false;
        });
        if (!ended) {
            ADD_FAILURE() << "the worker hung: no end after " << kHangLimit.count() << " s";
            // Where every thread stands, when a debugger is at hand.
            std::fflush(stdout);
            const std::string stacks = "timeout 60 gdb -p " + std::to_string(::getpid()) +
                                       " -batch -ex 'thread apply all bt' 2>&1 | grep -v '^\\[' >&2";
            [[maybe_unused]] const int shown = std::system(stacks.c_str());
            std::_Exit(3);
        }
        return messages_;
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
};

}  // namespace faults
