#include "app/pages/FormatNotify.h"

#include <QCoreApplication>
#include <QThread>

#include "app/core/disksetup/FormatDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/widgets/WindowMessage.h"

void FormatNotify::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!m_closing)
        PostWindowMessage(m_page, message, wParam, lParam);
    Delivered(message, wParam);
}

void FormatNotify::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!m_closing)
        SendWindowMessage(m_page, message, wParam, lParam);
    Delivered(message, wParam);
}

void FormatNotify::Delivered(unsigned message, std::uintptr_t wParam)
{
    // Every run ends with one error or the done stage.
    if (message == WM_FORMAT_ERROR || (message == WM_FORMAT_PROGRESS && static_cast<FormatStage>(wParam) == FormatStage::Done))
        m_running = false;
}

void FormatNotify::DrainUntilEnded()
{
    while (m_running) {
        // A send from the worker arrives as a meta-call on the page.
        QCoreApplication::sendPostedEvents(m_page, QEvent::MetaCall);
        QThread::msleep(5);
    }
}
