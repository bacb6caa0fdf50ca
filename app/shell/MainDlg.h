// The main window: caption-less and skinned, hosting the search, disk setup
// and firmware pages in one area, switched by a column of buttons; it tracks
// whether a long job runs, reacts to device changes and guards the exit.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>

#include "app/pages/PageStates.h"

class CBeautifulButton;
class CDeviceFormatDlg;
class CDeviceSearchDlg;
class CKelvarComboBox;
class CPictureEx;
class CTavrinDlg;
class QLabel;


// WM_DEVICECHANGE and its event "device nodes changed".
inline constexpr unsigned kWmDeviceChange = 0x0219;
inline constexpr unsigned kDbtDevNodesChanged = 0x0007;

// Control ids of the main window; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct MainDlgId {
    enum : int {
        Firmware = 1002,
        LanguageCombo = 1003,
        Close = 1011,
        DiskSetup = 1012,
        Title = 1039,
        Banner = 1040,
        Search = 1043,
        LanguageLabel = 1050,
    };
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    int ActivityState() const { return m_activityState; }
    // Asked to end a job, the window waits for it before it closes.
    bool IsQuitting() const { return m_quitting; }
    QString CurrentLanguageName() const { return m_currentLanguageName; }
    void ShowPage(int pageCode);

    // The buttons' commands, also reached from the pages.
    void OnFirmwareClicked();
    void OnDiskSetClicked();
    void OnSearchClicked();
    void OnCloseClicked();

    CBeautifulButton* FirmwareButton() const { return m_firmwareButton; }
    CBeautifulButton* DiskSetButton() const { return m_diskSetButton; }
    CBeautifulButton* SearchButton() const { return m_searchButton; }
    CBeautifulButton* CloseButton() const { return m_closeButton; }
    CKelvarComboBox* LanguageCombo() const { return m_languageCombo; }
    CDeviceSearchDlg* SearchPage() const { return m_searchPage; }
    CTavrinDlg* FirmwarePage() const { return m_firmwarePage; }
    CDeviceFormatDlg* DiskSetupPage() const { return m_diskSetupPage; }
    bool InDragBand(const QPoint& pos) const;

    // Every way out (the close button, Escape, the window manager's close)
    // comes here: during an upgrade or a disk setup the operator is asked
    // first, and the window stays until the job has reached a safe point.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitDialog();
    void FillLanguageCombo();
    void Layout();
    void OnLanguageChanged(int index);
    void RefreshTexts();
    void CheckDevices();
    void OnPageState(int pageCode, int activityState);

    CBeautifulButton* m_firmwareButton;
    CBeautifulButton* m_diskSetButton;
    CBeautifulButton* m_searchButton;
    CBeautifulButton* m_closeButton;
    CKelvarComboBox* m_languageCombo;
    QFont m_titleFont, m_labelFont, m_comboFont;
    QString m_currentLanguageName;
    int m_activityState = kActivityIdle;
    bool m_quitting = false;
    CDeviceFormatDlg* m_diskSetupPage = nullptr;
    CTavrinDlg* m_firmwarePage = nullptr;
    CDeviceSearchDlg* m_searchPage = nullptr;
    CPictureEx* m_banner;
    QLabel* m_title;
    QLabel* m_languageLabel;
    QImage m_background;
    class TitleBandDrag* m_drag;
    class DeviceChangeWatcher* m_deviceWatcher;
};
