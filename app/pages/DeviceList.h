// The device row shared by the search and firmware pages: the library's USB
// disks listed by name and drive letter, without the disk that holds the
// running Windows, and the operator's choice made the selected device.
#pragma once

#include <QString>
#include <vector>

class CKelvarComboBox;
class QComboBox;

struct DeviceListEntry {
    QString path;   // the library's device path, the key of every library call
    QString label;  // as the combo box shows it
};

// Rebuilds the list and the combo box from the library's devices and selects
// the combo's first item. pageName qualifies the log lines; only the search
// page logs every device it meets.
std::vector<DeviceListEntry> InitDeviceList(CKelvarComboBox* combo, const char* pageName, bool logEachDevice);

// The combo's current item becomes the selected device (none when nothing
// matches). Combo and list are tied by label, never by index.
void SelectDevice(const QComboBox* combo, const std::vector<DeviceListEntry>& list);
