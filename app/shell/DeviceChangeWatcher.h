// Delivers the machine's "device nodes changed" broadcasts to a window as
// WM_DEVICECHANGE, as Windows does for top-level windows.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

class DeviceChangeWatcher : public QObject {
public:
    explicit DeviceChangeWatcher(QObject* window, int pollMs = 300);

private:
    void Poll();

    QObject* m_window;
    QTimer m_timer;
    std::uint64_t m_seen;
};
