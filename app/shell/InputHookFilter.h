// Hands the application's key and mouse input to the Windows hooks of the GUI
// thread, where the storage library's random pool listens. Events are taken
// where they enter a window, so each is handed over once however far it
// propagates among the widgets.
#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/win_api.h"

class CInputHookFilter : public QObject {
public:
    using QObject::QObject;

    // Once per application, however often start-up runs.
    static void Install()
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (app && !app->findChild<QObject*>(Name(), Qt::FindDirectChildrenOnly)) {
            auto* filter = new CInputHookFilter(app);
            filter->setObjectName(Name());
            app->installEventFilter(filter);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWindowType())
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return win::emu::DeliverKeyboardEvent(KeyOf(*static_cast<QKeyEvent*>(event))) != 0;
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->globalPosition().toPoint();
            return win::emu::DeliverMouseEvent(MessageOf(*mouse), win::POINT{at.x(), at.y()},
                                               reinterpret_cast<win::HWND>(watched)) != 0;
        }
        default:
            return false;
        }
    }

private:
    static QString Name() { return QStringLiteral("inputHookFilter"); }

    static win::emu::KeyEvent KeyOf(const QKeyEvent& event)
    {
        win::emu::KeyEvent key;
        // Letters and digits share their codes with Windows' virtual keys.
        const int code = event.key();
        if ((code >= Qt::Key_0 && code <= Qt::Key_9) || (code >= Qt::Key_A && code <= Qt::Key_Z))
            key.virtualKey = static_cast<win::WPARAM>(code);
        // The window system's key code stands in for the scan code: the
        // hooks only compare codes with each other.
        const quint32 scan = event.nativeScanCode() ? event.nativeScanCode() : static_cast<quint32>(code);
        key.scanCode = static_cast<win::BYTE>(scan);
        key.released = event.type() == QEvent::KeyRelease;
        key.wasDown = key.released || event.isAutoRepeat();
        key.altDown = event.modifiers().testFlag(Qt::AltModifier);
        return key;
    }

    static win::UINT MessageOf(const QMouseEvent& event)
    {
        const bool right = event.button() == Qt::RightButton, middle = event.button() == Qt::MiddleButton;
        switch (event.type()) {
        case QEvent::MouseButtonPress:
            return right ? win::WM_RBUTTONDOWN : middle ? win::WM_MBUTTONDOWN : win::WM_LBUTTONDOWN;
        case QEvent::MouseButtonRelease:
            return right ? win::WM_RBUTTONUP : middle ? win::WM_MBUTTONUP : win::WM_LBUTTONUP;
        case QEvent::MouseButtonDblClick:
            return right ? win::WM_RBUTTONDBLCLK : middle ? win::WM_MBUTTONDBLCLK : win::WM_LBUTTONDBLCLK;
        default:
            return win::WM_MOUSEMOVE;
        }
    }
};
