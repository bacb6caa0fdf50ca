// The firmware upgrade page: the operator picks an image file and upgrades
// the selected device with it; a disk without the system partition is set
// up first. Controls stay disabled while a job runs.
#pragma once

#include <QFont>
#include <string_view>
#include <vector>

#include "app/core/disksetup/FormatDevice.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/pages/DeviceList.h"
#include "app/pages/FormatNotify.h"
#include "app/pages/SkinnedPage.h"
#include "app/widgets/WindowMessage.h"

class CBeautifulButton;
class CFlatEdit;
class CKelvarComboBox;
class CPictureEx;
class QLabel;
class QLineEdit;
class QPushButton;

// Control ids of the firmware page; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct FirmwarePageId {
    enum : int {
        Refresh = 1001,
        Upgrade = 1002,
        DeviceCombo = 1003,
        PathEdit = 1004,
        Browse = 1005,
        KernelEdit = 1006,
        KernelBrowse = 1007,
        ListLabel = 1008,
        PathLabel = 1009,
        KernelLabel = 1010,
        Spare = 1011,
        ProgressLabel = 1014,
        Animation = 1015,
        Warning = 1041,
        Back = 1043,
    };
};

class CTavrinDlg : public SkinnedPage {
    Q_OBJECT
public:
    explicit CTavrinDlg(QWidget* parent);
    // Waits for the jobs still running; format messages are dropped meanwhile.
    ~CTavrinDlg() override;

    // 1 idle, 2 busy; other values change nothing.
    void SetPageState(int state);
    void RefreshTexts() override;

    // The buttons' commands.
    void OnUpgrade();
    void OnBrowseImage();
    void OnBrowseKernel();
    void OnRefresh();
    void OnBack();

    bool IsBusy() const { return m_busy; }
    // The operator quits: the running job ends at its next safe point (an
    // upgrade before its first write, or at its end once writing began; a
    // disk being prepared is finished, its firmware not written), without
    // boxes, and the page goes idle. False when no job runs.
    bool RequestQuit();
    QString FirmwarePath() const { return m_firmwarePath; }
    QString KernelPath() const { return m_kernelPath; }
    CFlatEdit* PathEdit() const { return m_pathEdit; }
    CBeautifulButton* UpgradeButton() const { return m_upgrade; }
    CBeautifulButton* BrowseButton() const { return m_browse; }
    CBeautifulButton* BackButton() const { return m_back; }

signals:
    // Back: the main window shows the search page and checks the devices.
    void backRequested();

protected:
    bool event(QEvent* event) override;

private:
    // What the page waits for while busy.
    enum class Job { None, Probe, Verify, DiskSetUp, Upgrade };

    void DefaultImagePath();
    void SetFirmwarePath(const QString& path);
    void PrepareDisk();
    void StartUpgradeOfSelected();
    void StartWorker(WorkerOperation operation, std::u16string_view imagePath, std::u16string_view devPath);
    void OnWorkerDone(WorkerOperation operation, int result);
    void OnImageChecked(int result);
    void OnFormatProgress(FormatStage stage);
    void OnFormatError(FormatError error);
    void Stop(const char* key, int type);
    void EndJobForQuit(const char* what, int result);
    void ApplyFonts();

    CBeautifulButton* m_refresh;
    CBeautifulButton* m_upgrade;
    CBeautifulButton* m_browse;
    CBeautifulButton* m_back;
    CKelvarComboBox* m_combo;
    CFlatEdit* m_pathEdit;
    QLineEdit* m_kernelEdit;
    QPushButton* m_kernelBrowse;
    QPushButton* m_spare;
    QLabel* m_progressLabel;
    QLabel* m_warning;
    CPictureEx* m_animation;
    QFont m_bodyFont;
    QFont m_pathFont;
    QString m_firmwarePath;
    QString m_kernelPath;
    bool m_busy = false;
    bool m_quitting = false;
    Job m_job = Job::None;
    std::vector<DeviceListEntry> m_deviceList;
    WindowNotify m_notify{this};
    FormatNotify m_formatNotify{this};
    CUpgradeHandleThread m_worker{ProcessSelection()};
    CFormatDevice m_format{ProcessSelection()};
};
