// Delivers the machine's device notices to a window as WM_DEVICECHANGE, as
// Windows does for a window registered with RegisterDeviceNotification. The
// notices come on the platform's thread and reach the window on its own.
#pragma once

#include <QObject>

#include "platform/win_api.h"

class DeviceChangeWatcher : public QObject {
public:
    explicit DeviceChangeWatcher(QObject* window);
    // No notice is posted once this returns.
    ~DeviceChangeWatcher() override;

private:
    static win::ULONG OnNotice(void* context, win::ULONG type, void* setting);

    QObject* m_window;
    win::HDEVNOTIFY m_notify = nullptr;
};
