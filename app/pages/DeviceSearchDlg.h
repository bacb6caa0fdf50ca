// The first page: probes the attached disks on the worker, lists them with
// their drive letters and makes the operator's choice the selected device.
#pragma once

#include <QFont>
#include <vector>

#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/pages/DeviceList.h"
#include "app/pages/SkinnedPage.h"
#include "app/widgets/WindowMessage.h"

class CBeautifulButton;
class CKelvarComboBox;
class CPictureEx;
class QLabel;

// Control ids of the search page; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct SearchPageId {
    enum : int {
        DeviceCombo = 1003,
        Refresh = 1011,
        Next = 1043,
        ListLabel = 1046,
        ProgressLabel = 1047,
        Animation = 1048,
        Warning = 1049,
    };
};

class CDeviceSearchDlg : public SkinnedPage {
    Q_OBJECT
public:
    explicit CDeviceSearchDlg(QWidget* parent);
    ~CDeviceSearchDlg() override;

    // Starts a probe, as a click on Refresh does.
    void Refresh();
    void RefreshTexts() override;
    bool IsBusy() const { return m_busy; }
    int ProbesDone() const { return m_probesDone; }

    CKelvarComboBox* DeviceCombo() const { return m_combo; }
    const std::vector<DeviceListEntry>& DeviceList() const { return m_deviceList; }

signals:
    // Next: the main window shows the firmware page when a device is selected.
    void firmwareRequested();

protected:
    bool event(QEvent* event) override;

private:
    void SetPageState(int state);
    void OnProbeDone();

    CKelvarComboBox* m_combo;
    CBeautifulButton* m_refresh;
    CBeautifulButton* m_next;
    QLabel* m_listLabel;
    QLabel* m_progressLabel;
    QLabel* m_warning;
    CPictureEx* m_animation;
    QFont m_font;
    bool m_busy = false;
    int m_probesDone = 0;
    std::vector<DeviceListEntry> m_deviceList;
    WindowNotify m_notify{this};
    CUpgradeHandleThread m_worker{ProcessSelection()};
};
