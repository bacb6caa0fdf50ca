#include "app/pages/DeviceFormatDlg.h"

#include <QLabel>
#include <algorithm>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/log/ComnLog.h"
#include "app/pages/ChildParttionDlg.h"
#include "app/pages/PageControls.h"
#include "app/pages/SliderDlg.h"
#include "app/ui/DialogTexts.h"
#include "app/ui/LanguageText.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/ShowMessage.h"
#include "app/ui/StaticText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CBmpProgCtrl.h"
#include "app/widgets/CRadioBox.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/WindowMessage.h"

namespace {

constexpr int kIdle = 1;
constexpr int kBusy = 2;
constexpr std::int64_t kMiB = 1048576;
// A single partition must stay below 2 TB.
constexpr std::uint32_t kMaxPartitionSize = 2000000;
constexpr int kStepMs = 430;
constexpr int kFinishStepMs = 10;
const QRect kPercentArea(323, 202, 42, 21);

CRadioBox* MakeRadio(QWidget* page, int id, const QString& text, int group, const QPoint& at)
{
    auto* radio = new CRadioBox(text, page);
    SetControlId(radio, id);
    radio->setProperty(kRadioGroupProperty, group);
    radio->setGeometry(QRect(at, QSize(16, 16)));
    return radio;
}

}  // namespace

CDeviceFormatDlg::CDeviceFormatDlg(QWidget* parent) : SkinnedPage(133, 148, parent)
{
    using Id = DiskSetupPageId;
    // The table type is fixed (MBR): its choice stays hidden.
    for (QWidget* hidden : {static_cast<QWidget*>(MakeStatic(this, Id::TableTypeLabel, QRect(25, 17, 120, 15))),
                            static_cast<QWidget*>(MakeRadio(this, Id::TableTypeRadio1, QString(), 2, QPoint(165, 17))),
                            static_cast<QWidget*>(MakeRadio(this, Id::TableTypeRadio2, QString(), 2, QPoint(235, 17))),
                            static_cast<QWidget*>(MakeStatic(this, Id::TableTypeCaption1, QRect(187, 17, 30, 15))),
                            static_cast<QWidget*>(MakeStatic(this, Id::TableTypeCaption2, QRect(257, 17, 30, 15)))})
        hidden->hide();
    MakeStatic(this, Id::CountLabel, QRect(25, 33, 120, 15), QStringLiteral("Partition Numbers"));
    // The radios' own texts name the count they stand for.
    const char* const names[3] = {"ONE", "TWO", "THREE"};
    const char* const captions[3] = {"One", "Two", "Three"};
    const int radioX[3] = {132, 202, 270};
    const QRect captionRects[3] = {QRect(154, 33, 30, 15), QRect(224, 33, 30, 15), QRect(292, 33, 40, 15)};
    for (int i = 0; i < 3; ++i) {
        m_countRadios[i] =
            MakeRadio(this, Id::CountRadio1 + i, QString::fromLatin1(names[i]), 1, QPoint(radioX[i], 34));
        MakeStatic(this, Id::CountCaption1 + i, captionRects[i], QString::fromLatin1(captions[i]));
    }
    m_panel = new CChildParttionDlg(this);
    m_panel->move(25, 69);
    m_progressLabel = MakeStatic(this, Id::ProgressLabel, QRect(25, 204, 80, 15), QStringLiteral("Format Progress:"));
    m_progress = new CBmpProgCtrl(170, this);
    SetControlId(m_progress, Id::Progress);
    m_progress->setGeometry(124, 202, 192, 19);
    m_progress->SetRange(0, 100);
    m_percentLabel = MakeStatic(this, Id::PercentLabel, QRect(327, 204, 40, 15));
    m_hint = MakeStatic(this, Id::Hint, QRect(46, 296, 367, 31));
    SetStaticColour(m_hint, kLightStaticColour);
    m_format = MakePageButton(this, Id::Format, "IDC_BTN_FORMAT_FORMAT", QRect(245, 249, 79, 23));
    m_back = MakePageButton(this, Id::Back, "IDC_BTN_FORMAT_UP", QRect(145, 249, 79, 23));
    m_next = MakePageButton(this, Id::Next, "IDC_BTN_FORMAT_NEXT", QRect(345, 249, 79, 23));

    ApplyDialogTexts(this, DialogId());
    m_hint->setText(LanguageText("IDC_STRING_FORMAT_TEXT_WARMING"));
    ApplyFonts();
    ResetProgress();
    for (QWidget* progress : {static_cast<QWidget*>(m_progressLabel), static_cast<QWidget*>(m_progress),
                              static_cast<QWidget*>(m_percentLabel)})
        progress->hide();

    const int intervals[4] = {kStepMs, kStepMs, kFinishStepMs, kFinishStepMs};
    for (int i = 0; i < 4; ++i) {
        m_timers[i].setInterval(intervals[i]);
        connect(&m_timers[i], &QTimer::timeout, this, [this, i] { OnTimer(i + 1); });
    }
    connect(m_format, &QAbstractButton::clicked, this, &CDeviceFormatDlg::OnFormatClicked);
    connect(m_back, &QAbstractButton::clicked, this, &CDeviceFormatDlg::searchRequested);
    connect(m_next, &QAbstractButton::clicked, this, &CDeviceFormatDlg::firmwareRequested);
}

CDeviceFormatDlg::~CDeviceFormatDlg()
{
    m_notify.Close();
    m_notify.DrainUntilEnded();
}

void CDeviceFormatDlg::ApplyFonts()
{
    CreateLanguageFont(m_font, kFontRoleBody);
    using Id = DiskSetupPageId;
    const int labels[] = {Id::TableTypeLabel,    Id::TableTypeCaption1, Id::TableTypeCaption2, Id::CountLabel,
                          Id::CountCaption1,     Id::CountCaption1 + 1, Id::CountCaption1 + 2, Id::ProgressLabel,
                          Id::PercentLabel,      Id::Hint};
    for (int id : labels)
        if (QWidget* label = ChildById(this, id))
            label->setFont(m_font);
}

void CDeviceFormatDlg::EnterPage()
{
    // A running format keeps its page as it is.
    if (m_busy)
        return;
    kx_device* device = GetSelectedDevice();
    kx_disk* disk = device && device->path ? kx_disk_get(device->path) : nullptr;
    const std::int64_t diskMiB = disk && disk->size > 0 ? disk->size / kMiB : 0;
    const std::int64_t publicMiB = std::clamp<std::int64_t>(diskMiB - kFormatSystemSizeMiB, 0, UINT32_MAX);
    m_nTotalSize = static_cast<std::uint32_t>(publicMiB);
    for (int count = 1; count <= 3; ++count)
        CountRadio(count)->SetCheck(count == 2, true);
    OnRadioChange(2);
    SetPageState(kIdle);
    ResetProgress();
    if (!disk)
        ShowMessage(LanguageText("IDC_STRING_FORMAT_FORMAT_ERROR_1"), kMessageError);
}

void CDeviceFormatDlg::OnRadioChange(int count, const FormatSizes* source)
{
    if (count < 1 || count > 3)
        return;
    m_nPartCount = count;
    COMN_LOG("%s : %s : %d 收到单选按钮消息 m_nPartCount:%d", m_nPartCount);
    const std::uint32_t t = m_nTotalSize;
    FormatSizes sizes{t, 0, 0};
    if (source)
        sizes = *source;
    else if (count == 2)
        sizes = {t / 2, t - t / 2, 0};
    else if (count == 3)
        sizes = {t / 3, t / 3, t - 2 * (t / 3)};
    m_panel->SetupPartitions(count, t, sizes.nSize1, sizes.nSize2, sizes.nSize3);
}

void CDeviceFormatDlg::SetPageState(int state)
{
    m_busy = state != kIdle;
    for (QWidget* progress : {static_cast<QWidget*>(m_progressLabel), static_cast<QWidget*>(m_progress),
                              static_cast<QWidget*>(m_percentLabel)})
        progress->setVisible(m_busy);
    for (CBeautifulButton* button : {m_format, m_back, m_next})
        button->setEnabled(!m_busy);
    if (m_busy)
        ReportPageState(kPageLocked, kActivityFormatting);
    else
        ReportPageState(kPageDiskSetup, kActivityIdle);
}

void CDeviceFormatDlg::OnFormatClicked()
{
    if (m_busy)
        return;
    SetPageState(kBusy);
    // The disk is wiped only on an explicit OK; no box shown is no answer.
    if (ShowMessage(LanguageText("IDC_STRING_FORMAT_CONFIRM_WARMING"), kMessageQuestion) != 1) {
        SetPageState(kIdle);
        return;
    }
    const FormatSizes sizes = m_panel->GetPartitionSizes(m_nPartCount, m_nTotalSize);
    if (sizes.nSize1 >= kMaxPartitionSize || sizes.nSize2 >= kMaxPartitionSize || sizes.nSize3 >= kMaxPartitionSize) {
        ShowMessage(LanguageText("IDC_STRING_FORMAT_OVERFLOW_WARMING"), kMessageError);
        SetPageState(kIdle);
        return;
    }
    // A disk too small to give each partition 100 MiB (or none found).
    const std::uint32_t used[3] = {sizes.nSize1, sizes.nSize2, sizes.nSize3};
    if (std::any_of(used, used + m_nPartCount, [](std::uint32_t size) { return size < CSliderDlg::kMinSize; })) {
        ShowMessage(LanguageText("IDC_STRING_FORMAT_MIN_SIZE_WARMING"), kMessageError);
        SetPageState(kIdle);
        return;
    }
    m_formatDevice.SetNotifyWindow(&m_notify);
    m_formatDevice.SetFormatParam(m_nPartCount, sizes, 1);
    m_notify.StartRun();
    m_formatDevice.BeginFormat();
}

bool CDeviceFormatDlg::RequestQuit()
{
    if (!m_busy)
        return false;
    m_quitting = true;
    m_formatDevice.RequestStop();
    m_hint->setText(LanguageText("IDC_STRING_MAIN_EXIT_WAITING"));
    COMN_LOG("%s : %s : %d quit asked: the running disk setup is finished first");
    return true;
}

void CDeviceFormatDlg::EndRunForQuit(int code)
{
    COMN_LOG("%s : %s : %d quit: disk setup ended with %d", code);
    for (QTimer& timer : m_timers)
        timer.stop();
    SetPageState(kIdle);
}

void CDeviceFormatDlg::OnFormatProgress(FormatStage stage)
{
    if (m_quitting && stage == FormatStage::Done)
        return EndRunForQuit(0);
    if (stage == FormatStage::Started) {
        m_timers[0].start(kStepMs);
    } else if (stage == FormatStage::Partitioned) {
        m_timers[0].stop();
        m_timers[1].start(kStepMs);
    } else if (stage == FormatStage::Done) {
        m_timers[0].stop();
        m_timers[1].stop();
        m_timers[2].start(kFinishStepMs);
    }
}

void CDeviceFormatDlg::OnFormatError(FormatError error)
{
    const int code = CodeOf(error);
    if (m_quitting)
        return EndRunForQuit(code);
    for (QTimer& timer : m_timers)
        timer.stop();
    static const char* const keys[4] = {"IDC_STRING_FORMAT_FORMAT_ERROR_1", "IDC_STRING_FORMAT_FORMAT_ERROR_2",
                                        "IDC_STRING_FORMAT_FORMAT_ERROR_3", "IDC_STRING_FORMAT_FORMAT_ERROR_4"};
    const QString text = code >= 1 && code <= 4            ? LanguageText(keys[code - 1])
                         : error == FormatError::DiskBusy ? LanguageText("IDC_STRING_DISK_BUSY")
                         : error == FormatError::DiskGone ? LanguageText("IDC_STRING_DISK_GONE")
                                                          : QString();
    ShowMessage(text, kMessageError);
    SetPageState(kIdle);
    ResetProgress();
}

void CDeviceFormatDlg::OnTimer(int timer)
{
    // Each stage's timer runs the bar up to where the next stage takes over.
    const int holdAt[3] = {40, 95, 100};
    if (timer >= 1 && timer <= 3) {
        if (m_nProgressCount < holdAt[timer - 1]) {
            ++m_nProgressCount;
            ++m_nProgressPercent;
            ShowProgressStep();
            return;
        }
        m_timers[timer - 1].stop();
        if (timer == 3) {
            m_nProgressPercent = std::max(m_nProgressPercent, 100);
            m_timers[3].start(kFinishStepMs);
        }
        return;
    }
    m_timers[3].stop();
    ShowMessage(LanguageText("IDC_STRING_FORMAT_FORMAT_SUCCESS"), kMessageWarning);
    SetPageState(kIdle);
    ResetProgress();
}

void CDeviceFormatDlg::ShowProgressStep()
{
    m_percentText = QString::asprintf("%d%%", m_nProgressPercent);
    m_percentLabel->setText(m_percentText);
    update(kPercentArea);
    m_progress->StepIt();
}

void CDeviceFormatDlg::ResetProgress()
{
    m_nProgressCount = 0;
    m_nProgressPercent = 0;
    m_percentText = QStringLiteral("0%");
    m_percentLabel->setText(m_percentText);
    m_progress->SetPos(0);
}

bool CDeviceFormatDlg::event(QEvent* event)
{
    if (event->type() != WindowMessageEvent::EventType())
        return SkinnedPage::event(event);
    auto* message = static_cast<WindowMessageEvent*>(event);
    if (m_notify.IsClosing())
        return true;
    const int wParam = static_cast<int>(message->wParam);
    if (message->message == WM_RADIO_CHOSEN)
        OnRadioChange(wParam);
    else if (message->message == WM_FORMAT_PROGRESS)
        OnFormatProgress(static_cast<FormatStage>(wParam));
    else if (message->message == WM_FORMAT_ERROR)
        OnFormatError(static_cast<FormatError>(wParam));
    return true;
}

void CDeviceFormatDlg::RefreshTexts()
{
    ReloadPageButton(m_format, "IDC_BTN_FORMAT_FORMAT");
    ReloadPageButton(m_back, "IDC_BTN_FORMAT_UP");
    ReloadPageButton(m_next, "IDC_BTN_FORMAT_NEXT");
    m_panel->RefreshTexts();
    m_hint->setText(LanguageText("IDC_STRING_FORMAT_TEXT_WARMING"));
    ApplyDialogTexts(this, DialogId());
    ApplyFonts();
}
