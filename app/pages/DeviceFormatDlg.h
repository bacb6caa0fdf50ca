// The disk setup page: the operator splits the selected appliance disk into
// one to three public partitions and starts the format worker, whose stages
// drive a timed progress bar.
#pragma once

#include <QFont>
#include <QTimer>
#include <array>
#include <cstdint>

#include "app/core/disksetup/FormatDevice.h"
#include "app/pages/FormatNotify.h"
#include "app/pages/SkinnedPage.h"

class CBeautifulButton;
class CBmpProgCtrl;
class CChildParttionDlg;
class CRadioBox;
class QLabel;

// Control ids of the disk setup page; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct DiskSetupPageId {
    enum : int {
        Back = 1011,
        Format = 1012,
        TableTypeRadio1 = 1016,  // the table type's choice, hidden
        TableTypeRadio2 = 1017,
        CountRadio1 = 1018,  // 1018 to 1020: one to three public partitions
        TableTypeLabel = 1021,
        CountLabel = 1022,
        ProgressLabel = 1023,
        Progress = 1024,
        PercentLabel = 1025,
        TableTypeCaption1 = 1026,
        TableTypeCaption2 = 1027,
        CountCaption1 = 1028,  // 1028 to 1030
        Hint = 1042,
        Next = 1043,
    };
};

class CDeviceFormatDlg : public SkinnedPage {
    Q_OBJECT
public:
    explicit CDeviceFormatDlg(QWidget* parent);
    // Waits for a format still running; its messages are dropped meanwhile.
    ~CDeviceFormatDlg() override;

    // Run when the main window opens the page for the selected device.
    void EnterPage();
    void RefreshTexts() override;
    // A new partition count: sizes split evenly, or source's sizes when given.
    void OnRadioChange(int count, const FormatSizes* source = nullptr);
    // 1 idle, anything else busy.
    void SetPageState(int state);
    // The Format button.
    void OnFormatClicked();

    int PartCount() const { return m_nPartCount; }
    // MiB for the public partitions: the disk less the system partition.
    std::uint32_t TotalSize() const { return m_nTotalSize; }
    int ProgressPercent() const { return m_nProgressPercent; }
    bool IsBusy() const { return m_busy; }
    // The operator quits: a run that has not written yet stops, one that
    // has goes to its end; then the page goes idle without boxes. False
    // when no run is going.
    bool RequestQuit();
    CChildParttionDlg* Panel() const { return m_panel; }
    CRadioBox* CountRadio(int count) const { return m_countRadios.at(static_cast<size_t>(count - 1)); }
    CBmpProgCtrl* ProgressBar() const { return m_progress; }
    CBeautifulButton* FormatButton() const { return m_format; }
    CBeautifulButton* BackButton() const { return m_back; }
    CBeautifulButton* NextButton() const { return m_next; }

signals:
    void firmwareRequested();
    void searchRequested();

protected:
    bool event(QEvent* event) override;

private:
    void OnFormatProgress(FormatStage stage);
    void OnFormatError(FormatError error);
    void OnTimer(int timer);
    void EndRunForQuit(int code);
    void ShowProgressStep();
    void ResetProgress();
    void ApplyFonts();

    CChildParttionDlg* m_panel;
    CBeautifulButton* m_back;
    CBeautifulButton* m_next;
    CBeautifulButton* m_format;
    std::array<CRadioBox*, 3> m_countRadios{};
    CBmpProgCtrl* m_progress;
    QLabel* m_progressLabel;
    QLabel* m_percentLabel;
    QLabel* m_hint;
    QFont m_font;
    std::array<QTimer, 4> m_timers;
    int m_nProgressCount = 0;
    int m_nProgressPercent = 0;
    QString m_percentText;
    std::uint32_t m_nTotalSize = 0;
    int m_nPartCount = 2;
    bool m_busy = false;
    bool m_quitting = false;
    FormatNotify m_notify{this};
    CFormatDevice m_formatDevice{ProcessSelection()};
};
