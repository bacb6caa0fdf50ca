#include "app/pages/DeviceList.h"

#include "app/widgets/CKelvarComboBox.h"
#include <string>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/log/ComnLog.h"
#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

// The log lines carry the calling page's qualified name.
template <typename... Args>
void LogAs(const std::string& function, int line, const char* format, Args... args)
{
    CComnLog& log = CComnLog::GetInstance();
    if (log.IsEnabled())
        log.WriteLog(FormatLogMessage(format, LogSourceFile(__FILE__), function.c_str(), line, args...));
}

// Library texts are in the system code page, which QString::fromLocal8Bit
// would not honour here; the platform's name texts are ASCII or UTF-8.
QString FromLibrary(const char* text) { return QString::fromUtf8(text ? text : ""); }

}  // namespace

std::vector<DeviceListEntry> InitDeviceList(CKelvarComboBox* combo, const char* pageName, bool logEachDevice)
{
    const std::string function = std::string(pageName) + "::InitDeviceList";
    LogAs(function, __LINE__, "%s : %s : %d\t刺探设备");
    std::vector<DeviceListEntry> list;
    combo->clear();

    char windowsDir[win::MAX_PATH + 1] = {};
    win::GetWindowsDirectoryA(windowsDir, win::MAX_PATH);
    const QString systemRoot = QString::fromUtf8(windowsDir);
    LogAs(function, __LINE__, "%s : %s : %d 系统根目录:%s", windowsDir);

    for (kx_device* device = kx_dev_get(nullptr, 0, 0); device; device = kx_dev_get(device, 0, 0)) {
        if (logEachDevice)
            LogAs(function, __LINE__, "%s : %s : %d 设备路径：%s, 设备名：%s, 是否是U盘：%d", device->path, device->name,
                  device->removable);
        kx_disk* disk = kx_disk_get(device->path);
        const PedWinPart* info = disk ? kx_part_getinfo(disk, nullptr, 0) : nullptr;
        QString mount;
        QString label;
        if (info && info->mountpoint && *info->mountpoint) {
            mount = FromLibrary(info->mountpoint);
            label = QStringLiteral("%1 - Drives(%2)").arg(FromLibrary(device->name), mount);
            LogAs(function, __LINE__, "%s : %s : %d 设备路径首分区mount点:%s, 设备名称：%s", info->mountpoint,
                  label.toUtf8().constData());
        } else {
            label = FromLibrary(device->name);
            LogAs(function, __LINE__, "%s : %s : %d 设备路径分区为空,或者mount点为空, 设备名称：%s ",
                  label.toUtf8().constData());
        }
        // The disk that holds the running Windows is never offered.
        if (!mount.isEmpty() && systemRoot.contains(mount, Qt::CaseSensitive))
            continue;
        const QString path = FromLibrary(device->path);
        LogAs(function, __LINE__, "%s : %s : %d 设备路径：%s, 设备名称：%s", device->path, label.toUtf8().constData());
        list.push_back({path, label});
        combo->addItem(label);
    }
    if (combo->count() > 0)
        combo->setCurrentIndex(0);
    return list;
}

void SelectDevice(const QComboBox* combo, const std::vector<DeviceListEntry>& list)
{
    const int index = combo->currentIndex();
    if (index < 0) {
        SetSelectedDevice(nullptr);
        return;
    }
    const QString text = combo->itemText(index);
    const DeviceListEntry* entry = nullptr;
    for (const DeviceListEntry& candidate : list)
        if (candidate.label == text) {
            entry = &candidate;
            break;
        }
    if (!entry) {
        SetSelectedDevice(nullptr);
        return;
    }
    for (kx_device* device = kx_dev_get(nullptr, 0, 0); device; device = kx_dev_get(device, 0, 0))
        if (FromLibrary(device->path) == entry->path) {
            SetSelectedDevice(device);
            return;
        }
    SetSelectedDevice(nullptr);
}
