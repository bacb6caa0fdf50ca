#include "app/pages/DeviceSearchDlg.h"

#include <QLabel>
#include <QTimer>

#include "app/core/jobs/WorkerMessages.h"
#include "app/pages/PageControls.h"
#include "app/ui/DialogTexts.h"
#include "app/ui/LanguageText.h"
#include "app/ui/StaticText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CKelvarComboBox.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/CPictureEx.h"
#include "app/widgets/ControlId.h"

namespace {

constexpr int kIdle = 1;
constexpr int kBusy = 2;

}  // namespace

CDeviceSearchDlg::CDeviceSearchDlg(QWidget* parent) : SkinnedPage(187, 149, parent)
{
    m_listLabel = MakeStatic(this, SearchPageId::ListLabel, QRect(8, 73, 85, 15), QStringLiteral("Device List:"));
    m_combo = new CKelvarComboBox(this);
    SetControlId(m_combo, SearchPageId::DeviceCombo);
    m_combo->SetSorted(true);
    m_combo->setGeometry(103, 71, 218, 20);
    m_refresh = MakePageButton(this, SearchPageId::Refresh, "IDC_BTN_SEARCH_SEARCH", QRect(332, 70, 79, 23));
    m_progressLabel = MakeStatic(this, SearchPageId::ProgressLabel, QRect(8, 134, 85, 15), QStringLiteral("Progress:"));
    m_animation = new CPictureEx(this);
    SetControlId(m_animation, SearchPageId::Animation);
    m_animation->move(103, 131);
    m_warning = MakeStatic(this, SearchPageId::Warning, QRect(46, 296, 367, 31));
    SetStaticColour(m_warning, kLightStaticColour);
    m_next = MakePageButton(this, SearchPageId::Next, "IDC_BTN_SEARCH_NEXT", QRect(345, 249, 79, 23));

    ApplyDialogTexts(this, DialogId());
    m_warning->setText(LanguageText("IDC_STRING_SEARCH_TEXT_WARMING"));
    if (m_animation->Load(150, "GIF"))
        m_animation->Draw();
    m_animation->hide();
    m_progressLabel->hide();
    CreateLanguageFont(m_font, kFontRoleBody);
    for (QLabel* label : {m_listLabel, m_progressLabel, m_warning})
        label->setFont(m_font);

    m_worker.SetWindow(&m_notify);
    connect(m_refresh, &QAbstractButton::clicked, this, &CDeviceSearchDlg::Refresh);
    connect(m_next, &QAbstractButton::clicked, this, &CDeviceSearchDlg::firmwareRequested);
    connect(m_combo, &QComboBox::activated, this, [this] { SelectDevice(m_combo, m_deviceList); });
    // The first probe starts by itself shortly after the page exists.
    QTimer::singleShot(200, this, &CDeviceSearchDlg::Refresh);
}

CDeviceSearchDlg::~CDeviceSearchDlg() { m_worker.Wait(); }

void CDeviceSearchDlg::Refresh()
{
    if (m_busy)
        return;
    SetPageState(kBusy);
    m_worker.SetJob(WorkerOperation::Probe, u"", u"");
    m_worker.Start();
}

void CDeviceSearchDlg::SetPageState(int state)
{
    m_busy = state == kBusy;
    for (QWidget* control : {static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_combo),
                             static_cast<QWidget*>(m_next)})
        control->setEnabled(!m_busy);
    m_progressLabel->setVisible(m_busy);
    m_animation->setVisible(m_busy);
    if (m_busy)
        ReportPageState(kPageLocked, kActivitySearching);
    else
        ReportPageState(kPageSearch, kActivityIdle);
}

void CDeviceSearchDlg::OnProbeDone()
{
    m_deviceList = InitDeviceList(m_combo, "CDeviceSearchDlg", true);
    SetPageState(kIdle);
    SelectDevice(m_combo, m_deviceList);
    ++m_probesDone;
}

bool CDeviceSearchDlg::event(QEvent* event)
{
    if (event->type() == WindowMessageEvent::EventType()) {
        auto* message = static_cast<WindowMessageEvent*>(event);
        const auto operation = static_cast<WorkerOperation>(message->wParam);
        if (message->message == WM_WORKER_DONE && operation == WorkerOperation::Probe)
            OnProbeDone();
        return true;
    }
    return SkinnedPage::event(event);
}

void CDeviceSearchDlg::RefreshTexts()
{
    ReloadPageButton(m_refresh, "IDC_BTN_SEARCH_SEARCH");
    ReloadPageButton(m_next, "IDC_BTN_SEARCH_NEXT");
    m_warning->setText(LanguageText("IDC_STRING_SEARCH_TEXT_WARMING"));
    ApplyDialogTexts(this, DialogId());
    CreateLanguageFont(m_font, kFontRoleBody);
    for (QLabel* label : {m_listLabel, m_progressLabel, m_warning})
        label->setFont(m_font);
}
