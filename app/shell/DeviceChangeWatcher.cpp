#include "app/shell/DeviceChangeWatcher.h"

#include "app/shell/MainDlg.h"
#include "app/widgets/WindowMessage.h"
#include "platform/machine.h"

namespace {

std::uint64_t DeviceNodeChanges()
{
    try {
        return machine::current()->read()->deviceChanges;
    } catch (const std::exception&) {
        return 0;  // a machine that cannot be read broadcasts nothing
    }
}

}  // namespace

DeviceChangeWatcher::DeviceChangeWatcher(QObject* window, int pollMs)
    : QObject(window), m_window(window), m_seen(DeviceNodeChanges())
{
    connect(&m_timer, &QTimer::timeout, this, &DeviceChangeWatcher::Poll);
    m_timer.start(pollMs);
}

void DeviceChangeWatcher::Poll()
{
    const std::uint64_t now = DeviceNodeChanges();
    if (now == m_seen)
        return;
    m_seen = now;
    PostWindowMessage(m_window, kWmDeviceChange, kDbtDevNodesChanged, 0);
}
