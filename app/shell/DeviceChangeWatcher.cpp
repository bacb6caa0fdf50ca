#include "app/shell/DeviceChangeWatcher.h"

#include "app/shell/MainDlg.h"
#include "app/widgets/WindowMessage.h"

static_assert(kWmDeviceChange == win::WM_DEVICECHANGE && kDbtDevNodesChanged == win::DBT_DEVNODES_CHANGED);

DeviceChangeWatcher::DeviceChangeWatcher(QObject* window) : QObject(window), m_window(window)
{
    win::DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS recipient{&DeviceChangeWatcher::OnNotice, this};
    win::DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = win::DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = win::GUID_DEVINTERFACE_DISK;
    m_notify = win::RegisterDeviceNotificationA(&recipient, &filter, win::DEVICE_NOTIFY_CALLBACK);
}

DeviceChangeWatcher::~DeviceChangeWatcher()
{
    if (m_notify)
        win::UnregisterDeviceNotification(m_notify);
}

win::ULONG DeviceChangeWatcher::OnNotice(void* context, win::ULONG type, void* setting)
{
    // The window acts on "device nodes changed" alone, as it did on Windows,
    // where every top-level window gets it.
    if (type != kDbtDevNodesChanged)
        return 0;
    auto* self = static_cast<DeviceChangeWatcher*>(context);
    // Queued to the watcher's thread; dropped if the watcher is gone by then.
    QMetaObject::invokeMethod(
        self, [self] { PostWindowMessage(self->m_window, kWmDeviceChange, kDbtDevNodesChanged, 0); },
        Qt::QueuedConnection);
    return 0;
}
