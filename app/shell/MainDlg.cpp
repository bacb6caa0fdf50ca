#include "app/shell/MainDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/language/PublicFunction.h"
#include "app/pages/DeviceFormatDlg.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/pages/TavrinDlg.h"
#include "app/shell/DeviceChangeWatcher.h"
#include "app/ui/DialogTexts.h"
#include "app/ui/LanguageText.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/ShowMessage.h"
#include "app/ui/StaticText.h"
#include "app/ui/TitleBandDrag.h"
#include "app/ui/WindowShape.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/CKelvarComboBox.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/CPictureEx.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"
#include "kx/kx.h"

namespace {

constexpr int kWidth = 547;
constexpr int kHeight = 453;
constexpr QRect kPageRect(105, 116, 431, 333);

CBeautifulButton* MakeMainButton(QWidget* parent, int id, int imageSet, const char* captionKey)
{
    const ButtonCaption caption = captionKey ? ButtonCaptionOf(captionKey) : ButtonCaption{};
    auto* button = new CBeautifulButton(imageSet, caption.caption, caption.x, caption.y, parent);
    SetControlId(button, id);
    return button;
}

void ReloadMainButton(CBeautifulButton* button, int imageSet, const char* captionKey)
{
    const ButtonCaption caption = ButtonCaptionOf(captionKey);
    button->SetSkin(imageSet, caption.caption, caption.x, caption.y);
}

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    m_firmwareButton = MakeMainButton(this, MainDlgId::Firmware, 5020, "IDC_BTN_MAIN_UPGRADE");
    m_diskSetButton = MakeMainButton(this, MainDlgId::DiskSetup, 5010, "IDC_BTN_MAIN_FORMAT");
    m_searchButton = MakeMainButton(this, MainDlgId::Search, 5050, "IDC_BTN_MAIN_SEARCH");
    m_closeButton = MakeMainButton(this, MainDlgId::Close, 5000, nullptr);
    m_languageCombo = new CKelvarComboBox(this);
    SetControlId(m_languageCombo, MainDlgId::LanguageCombo);
    m_banner = new CPictureEx(this);
    SetControlId(m_banner, MainDlgId::Banner);
    m_title = MakeStatic(this, MainDlgId::Title, QRect(31, 4, 200, 25), LanguageText("IDC_STRING_MAIN_TITLE"));
    m_languageLabel = MakeStatic(this, MainDlgId::LanguageLabel, QRect(255, 97, 150, 25), QStringLiteral("Language"));
    m_background = LoadResourceImage("PNG", 135);
    m_drag = new TitleBandDrag(this, kShapeRows, kWidth - 1);
    m_deviceWatcher = new DeviceChangeWatcher(this);

    connect(m_firmwareButton, &QAbstractButton::clicked, this, &CMainDlg::OnFirmwareClicked);
    connect(m_diskSetButton, &QAbstractButton::clicked, this, &CMainDlg::OnDiskSetClicked);
    connect(m_searchButton, &QAbstractButton::clicked, this, &CMainDlg::OnSearchClicked);
    connect(m_closeButton, &QAbstractButton::clicked, this, &CMainDlg::OnCloseClicked);
    InitDialog();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::InitDialog()
{
    ApplyDialogTexts(this, 132);
    setWindowTitle(LanguageText("IDC_STRING_MAIN_TITLE"));
    EnumerateFonts(this);
    FillLanguageCombo();

    m_searchPage = new CDeviceSearchDlg(this);
    m_diskSetupPage = new CDeviceFormatDlg(this);
    m_firmwarePage = new CTavrinDlg(this);
    for (QWidget* page : {static_cast<QWidget*>(m_searchPage), static_cast<QWidget*>(m_diskSetupPage),
                          static_cast<QWidget*>(m_firmwarePage)})
        page->hide();
    connect(m_searchPage, &CDeviceSearchDlg::firmwareRequested, this, &CMainDlg::OnFirmwareClicked);
    connect(m_diskSetupPage, &CDeviceFormatDlg::firmwareRequested, this, &CMainDlg::OnFirmwareClicked);
    connect(m_diskSetupPage, &CDeviceFormatDlg::searchRequested, this, &CMainDlg::OnSearchClicked);
    connect(m_firmwarePage, &CTavrinDlg::backRequested, this, [this] {
        ShowPage(kPageSearch);
        PostWindowMessage(this, kWmDeviceChange, kDbtDevNodesChanged, 0);
    });

    Layout();
    ShowPage(kPageSearch);
    if (m_banner->Load(169, "GIF"))
        m_banner->Draw();

    CreateLanguageFont(m_titleFont, kFontRoleTitle);
    m_title->setFont(m_titleFont);
    CreateLanguageFont(m_labelFont, kFontRoleBody);
    m_languageLabel->setFont(m_labelFont);
    m_comboFont = QFont(QStringLiteral("宋体"));
    m_comboFont.setPixelSize(13);
    m_languageCombo->setFont(m_comboFont);
    SetStaticColour(m_title, kLightStaticColour);
    SetStaticColour(m_languageLabel, kLightStaticColour);

    connect(m_languageCombo, &QComboBox::activated, this, &CMainDlg::OnLanguageChanged);
}

void CMainDlg::FillLanguageCombo()
{
    const QString stored = QString::fromStdU16String(CPublicFunction::GetInstance().ReadSettingLanguage());
    int index = 0;
    for (const LanguageListEntry& entry : CPublicFunction::GetInstance().GetLanguageList()) {
        const QString shown = QString::fromStdU16String(entry.privateName);
        m_languageCombo->insertItem(index, shown);
        if (QString::fromStdU16String(entry.language) == stored) {
            m_languageCombo->setCurrentIndex(index);
            m_currentLanguageName = shown;
        }
        ++index;
    }
    if (m_currentLanguageName.isEmpty())
        m_languageCombo->setCurrentIndex(-1);
}

void CMainDlg::Layout()
{
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    m_title->setGeometry(31, 4, 200, 25);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (QWidget* page : {static_cast<QWidget*>(m_searchPage), static_cast<QWidget*>(m_diskSetupPage),
                          static_cast<QWidget*>(m_firmwarePage)})
        page->setGeometry(kPageRect);
    m_languageLabel->setGeometry(255, 97, 150, 25);
    m_languageCombo->setGeometry(420, 94, 100, 20);
    m_searchButton->setGeometry(10, 124, 95, 35);
    // The disk setup page is wired, but no visible control leads there.
    m_diskSetButton->hide();
    m_firmwareButton->setGeometry(10, 175, 95, 35);
    m_closeButton->setGeometry(524, 10, 11, 11);
    m_banner->setGeometry(4, 28, 539, 57);
}

void CMainDlg::ShowPage(int pageCode)
{
    if (pageCode == kPageLocked) {
        m_firmwareButton->setEnabled(false);
        m_diskSetButton->setEnabled(false);
        m_searchButton->setEnabled(false);
        return;
    }
    if (pageCode != kPageFirmware && pageCode != kPageDiskSetup && pageCode != kPageSearch)
        return;
    m_firmwarePage->setVisible(pageCode == kPageFirmware);
    m_diskSetupPage->setVisible(pageCode == kPageDiskSetup);
    m_searchPage->setVisible(pageCode == kPageSearch);
    m_firmwareButton->setEnabled(pageCode != kPageFirmware);
    m_diskSetButton->setEnabled(pageCode != kPageDiskSetup);
    m_searchButton->setEnabled(pageCode != kPageSearch);
    if (pageCode == kPageSearch)
        update();
}

void CMainDlg::OnFirmwareClicked()
{
    if (GetSelectedDevice()) {
        m_firmwarePage->SetPageState(1);
        ShowPage(kPageFirmware);
        return;
    }
    ShowMessage(LanguageText("IDC_STRING_MAIN_SELECT_DEVICE_WARMING"), kMessageWarning);
    ShowPage(kPageSearch);
}

void CMainDlg::OnDiskSetClicked()
{
    if (GetSelectedDevice()) {
        m_diskSetupPage->EnterPage();
        ShowPage(kPageDiskSetup);
        return;
    }
    ShowMessage(LanguageText("IDC_STRING_MAIN_SELECT_DEVICE_WARMING"), kMessageWarning);
    ShowPage(kPageSearch);
}

void CMainDlg::OnSearchClicked()
{
    ShowPage(kPageSearch);
    update();
}

void CMainDlg::OnCloseClicked() { reject(); }

void CMainDlg::reject()
{
    if (m_quitting)
        return;  // already waiting for the job
    const char* question = m_activityState == kActivityUpgrading    ? "IDC_STRING_MAIN_EXIT_UPGRADE_SAFE"
                           : m_activityState == kActivityFormatting ? "IDC_STRING_MAIN_EXIT_FORMAT_SAFE"
                                                                    : nullptr;
    if (question) {
        if (ShowMessage(LanguageText(question), kMessageQuestion) == 2)
            return;
        // Both pages are asked: the firmware page may be preparing a disk.
        const bool firmwareJob = m_firmwarePage->RequestQuit();
        const bool setupJob = m_diskSetupPage->RequestQuit();
        if (firmwareJob || setupJob) {
            m_quitting = true;
            return;  // closed when the page reports idle
        }
    }
    QDialog::reject();
}

void CMainDlg::OnLanguageChanged(int index)
{
    const QString chosen = m_languageCombo->itemText(index);
    if (chosen == m_currentLanguageName)
        return;
    m_currentLanguageName = chosen;
    std::u16string language;
    for (const LanguageListEntry& entry : CPublicFunction::GetInstance().GetLanguageList())
        if (QString::fromStdU16String(entry.privateName) == chosen) {
            language = entry.language;
            break;
        }
    CPublicFunction::GetInstance().LoadLanguage(language);
    RefreshTexts();
}

void CMainDlg::RefreshTexts()
{
    ReloadMainButton(m_firmwareButton, 5020, "IDC_BTN_MAIN_UPGRADE");
    ReloadMainButton(m_diskSetButton, 5010, "IDC_BTN_MAIN_FORMAT");
    ReloadMainButton(m_searchButton, 5050, "IDC_BTN_MAIN_SEARCH");
    ApplyDialogTexts(this, 132);
    m_title->setText(LanguageText("IDC_STRING_MAIN_TITLE"));
    m_diskSetupPage->RefreshTexts();
    m_firmwarePage->RefreshTexts();
    m_searchPage->RefreshTexts();
    update();
}

void CMainDlg::CheckDevices()
{
    // A change during a job is not acted on, so the library is not asked:
    // the job may hold it for seconds (a device restart), and the window
    // would stop painting until then.
    if (m_activityState != kActivityIdle)
        return;
    int added = 0;
    int removed = 0;
    if (kx_dev_is_change(&added, &removed)) {
        ShowPage(kPageSearch);
        m_searchPage->Refresh();
    }
}

void CMainDlg::OnPageState(int pageCode, int activityState)
{
    m_activityState = activityState;
    ShowPage(pageCode);
    if (m_quitting && activityState == kActivityIdle)
        QDialog::reject();
}

bool CMainDlg::InDragBand(const QPoint& pos) const { return m_drag->InBand(pos); }

bool CMainDlg::event(QEvent* event)
{
    if (event->type() == WindowMessageEvent::EventType()) {
        auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message == WM_PAGE_STATE) {
            OnPageState(static_cast<int>(message->wParam), static_cast<int>(message->lParam));
            message->result = 0;
        } else if (message->message == kWmDeviceChange) {
            if (message->wParam == kDbtDevNodesChanged)
                CheckDevices();
            message->result = 1;
        }
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QPoint(0, 0), m_background);
}

void CMainDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    setMask(ShapeFromBitmap(LoadResourceImage("BMP", 134), QRect(0, 0, kWidth, kHeight)));
}
