// The format worker's messages to the disk setup page. A closing page stops
// taking them, so it can wait for the worker without the worker waiting for it.
#pragma once

#include <QObject>
#include <atomic>

#include "app/core/jobs/WorkerNotify.h"

class FormatNotify : public WorkerNotify {
public:
    explicit FormatNotify(QObject* page) : m_page(page) {}

    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // Called before BeginFormat.
    void StartRun() { m_running = true; }
    // False once the run's last message was handled or dropped.
    bool IsRunning() const { return m_running; }
    void Close() { m_closing = true; }
    bool IsClosing() const { return m_closing; }
    // Delivers a message already on its way to the closing page (it drops it)
    // until the run has ended.
    void DrainUntilEnded();

private:
    void Delivered(unsigned message, std::uintptr_t wParam);

    QObject* m_page;
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_running{false};
};
