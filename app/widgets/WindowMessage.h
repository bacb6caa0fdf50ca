// Window messages between controls, pages, workers and the main window, as Qt
// events carrying the same numbers. A send is handled before it returns (from
// another thread it blocks until the receiver's thread has handled it); a
// post is queued.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <cstdint>

#include "app/core/jobs/WorkerNotify.h"

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(unsigned code, std::uintptr_t first, std::intptr_t second)
        : QEvent(EventType()), message(code), wParam(first), lParam(second)
    {
    }
    static QEvent::Type EventType();

    const unsigned message;
    const std::uintptr_t wParam;
    const std::intptr_t lParam;
    // What the receiver returns to a send.
    std::intptr_t result = 0;
};

// Returns the receiver's result, 0 when it is gone.
std::intptr_t SendWindowMessage(QObject* receiver, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
void PostWindowMessage(QObject* receiver, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// A worker's notifications delivered to a window as window messages.
class WindowNotify : public WorkerNotify {
public:
    explicit WindowNotify(QObject* receiver) : m_receiver(receiver) {}
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

private:
    QPointer<QObject> m_receiver;
};
