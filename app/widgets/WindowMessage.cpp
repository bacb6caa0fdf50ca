#include "app/widgets/WindowMessage.h"

#include <QCoreApplication>
#include <QThread>

QEvent::Type WindowMessageEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::intptr_t SendWindowMessage(QObject* receiver, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!receiver)
        return 0;
    std::intptr_t result = 0;
    auto deliver = [&] {
        WindowMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(receiver, &event);
        result = event.result;
    };
    if (receiver->thread() == QThread::currentThread())
        deliver();
    else
        QMetaObject::invokeMethod(receiver, deliver, Qt::BlockingQueuedConnection);
    return result;
}

void PostWindowMessage(QObject* receiver, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new WindowMessageEvent(message, wParam, lParam));
}

void WindowNotify::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    PostWindowMessage(m_receiver.data(), message, wParam, lParam);
}

void WindowNotify::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    SendWindowMessage(m_receiver.data(), message, wParam, lParam);
}
