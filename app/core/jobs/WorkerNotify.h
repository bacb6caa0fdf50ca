// How a worker reaches the window that started it: a message code with two
// numbers, as a window message would carry. The GUI page turns them into Qt
// events, the command line into progress output.
#pragma once

#include <cstdint>

struct WorkerNotify {
    virtual ~WorkerNotify() = default;
    // Queues the message and returns at once. Called on the worker's thread.
    virtual void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Returns only once the receiver has handled the message, so the worker
    // waits for the operator (a message box) before going on.
    virtual void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};
