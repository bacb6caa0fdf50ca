#include "app/pages/TavrinDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "app/core/disksetup/DiskSetUp.h"
#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/FileExists.h"
#include "app/core/support/WideText.h"
#include "app/pages/PageControls.h"
#include "app/pages/TavrinFileDialog.h"
#include "app/ui/DialogTexts.h"
#include "app/ui/LanguageText.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/ShowMessage.h"
#include "app/ui/StaticText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CFlatEdit.h"
#include "app/widgets/CKelvarComboBox.h"
#include "app/widgets/CPictureEx.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/ResourceImage.h"
#include "platform/win_api.h"

namespace {

constexpr int kIdle = 1;
constexpr int kBusy = 2;
constexpr int kDefaultPathDelayMs = 100;
const QString kImageName = QStringLiteral("windows.bin");
// "All files" shows every file, those without an extension too.
const QString kImageFilter = QStringLiteral("Bin Files (*.bin);;All files (*)");

const char kRefreshKey[] = "IDC_BTN_UPGRADE_REFRESH";
const char kUpgradeKey[] = "IDC_BTN_UPGRADE_UPGRADE";
const char kOpenKey[] = "IDC_BTN_UPGRADE_OPEN";
const char kBackKey[] = "IDC_BTN_UPGRADE_NEXT";

template <typename Control>
Control* Placed(Control* control, int id, const QRect& rect)
{
    SetControlId(control, id);
    control->setGeometry(rect);
    return control;
}

// A folder passes FileExists but is no image.
bool IsFile(const QString& path)
{
    const std::u16string wide = path.toStdU16String();
    return FileExists(wide.c_str()) && !(win::GetFileAttributesW(wide.c_str()) & win::FILE_ATTRIBUTE_DIRECTORY);
}

QString CurrentDirectory()
{
    const win::DWORD needed = win::GetCurrentDirectoryW(0, nullptr);
    std::u16string dir(needed, u'\0');
    const win::DWORD length = win::GetCurrentDirectoryW(needed, dir.data());
    dir.resize(length < needed ? length : 0);
    return QString::fromStdU16String(dir);
}

}  // namespace

CTavrinDlg::CTavrinDlg(QWidget* parent) : SkinnedPage(102, 149, parent)
{
    // The device row and the kernel path stay hidden: the search page
    // chooses the device, and the kernel comes from the image.
    m_refresh = MakePageButton(this, FirmwarePageId::Refresh, kRefreshKey, QRect(332, 40, 79, 23));
    m_upgrade = MakePageButton(this, FirmwarePageId::Upgrade, kUpgradeKey, QRect(345, 249, 79, 23));
    m_combo = Placed(new CKelvarComboBox(this), FirmwarePageId::DeviceCombo, QRect(103, 41, 218, 20));
    m_pathEdit = Placed(new CFlatEdit(this), FirmwarePageId::PathEdit, QRect(103, 71, 218, 20));
    m_browse = MakePageButton(this, FirmwarePageId::Browse, kOpenKey, QRect(332, 70, 79, 23));
    m_kernelEdit = Placed(new QLineEdit(this), FirmwarePageId::KernelEdit, QRect(103, 101, 218, 20));
    m_kernelEdit->setReadOnly(true);
    m_kernelBrowse =
        Placed(new QPushButton(QStringLiteral("..."), this), FirmwarePageId::KernelBrowse, QRect(332, 100, 79, 23));
    QLabel* listLabel = MakeStatic(this, FirmwarePageId::ListLabel, QRect(8, 43, 85, 15));
    MakeStatic(this, FirmwarePageId::PathLabel, QRect(8, 73, 85, 15));
    QLabel* kernelLabel = MakeStatic(this, FirmwarePageId::KernelLabel, QRect(8, 103, 85, 15));
    m_spare = Placed(new QPushButton(this), FirmwarePageId::Spare, QRect(8, 160, 79, 23));
    m_progressLabel = MakeStatic(this, FirmwarePageId::ProgressLabel, QRect(8, 134, 85, 15));
    m_animation = Placed(new CPictureEx(this), FirmwarePageId::Animation, QRect(103, 131, 220, 24));
    m_warning = MakeStatic(this, FirmwarePageId::Warning, QRect(46, 296, 367, 31));
    SetStaticColour(m_warning, kLightStaticColour);
    m_back = MakePageButton(this, FirmwarePageId::Back, kBackKey, QRect(245, 249, 79, 23));
    for (QWidget* hidden : {static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_combo),
                            static_cast<QWidget*>(m_kernelEdit), static_cast<QWidget*>(m_kernelBrowse),
                            static_cast<QWidget*>(listLabel), static_cast<QWidget*>(kernelLabel),
                            static_cast<QWidget*>(m_spare)})
        hidden->hide();

    setWindowIcon(QIcon(QPixmap::fromImage(LoadResourceImage("PNG", 128))));
    ApplyDialogTexts(this, DialogId());
    m_warning->setText(LanguageText("IDC_STRING_UPGRADE_TEXT_WARMING"));
    if (m_animation->Load(150, "GIF"))
        m_animation->Draw();
    m_animation->hide();
    m_progressLabel->hide();
    ApplyFonts();

    connect(m_refresh, &QAbstractButton::clicked, this, &CTavrinDlg::OnRefresh);
    connect(m_upgrade, &QAbstractButton::clicked, this, &CTavrinDlg::OnUpgrade);
    connect(m_browse, &QAbstractButton::clicked, this, &CTavrinDlg::OnBrowseImage);
    connect(m_kernelBrowse, &QAbstractButton::clicked, this, &CTavrinDlg::OnBrowseKernel);
    connect(m_back, &QAbstractButton::clicked, this, &CTavrinDlg::OnBack);
    connect(m_combo, &QComboBox::activated, this, [this] { SelectDevice(m_combo, m_deviceList); });
    QTimer::singleShot(kDefaultPathDelayMs, this, &CTavrinDlg::DefaultImagePath);
}

CTavrinDlg::~CTavrinDlg()
{
    // The format worker may be blocked sending to this page; it must be
    // let go before its thread is waited for.
    m_formatNotify.Close();
    m_formatNotify.DrainUntilEnded();
}

void CTavrinDlg::ApplyFonts()
{
    CreateLanguageFont(m_bodyFont, kFontRoleBody);
    for (int id : {FirmwarePageId::ListLabel, FirmwarePageId::PathLabel, FirmwarePageId::KernelLabel,
                   FirmwarePageId::ProgressLabel, FirmwarePageId::Warning})
        if (QWidget* label = ChildById(this, id))
            label->setFont(m_bodyFont);
    m_pathFont = QFont(QStringLiteral("宋体"));
    m_pathFont.setPixelSize(13);
    m_pathEdit->setFont(m_pathFont);
}

void CTavrinDlg::SetPageState(int state)
{
    if (state != kIdle && state != kBusy)
        return;
    m_busy = state == kBusy;
    for (QWidget* control : {static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_upgrade),
                             static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_kernelBrowse),
                             static_cast<QWidget*>(m_spare), static_cast<QWidget*>(m_combo),
                             static_cast<QWidget*>(m_back)})
        control->setEnabled(!m_busy);
    m_progressLabel->setVisible(m_busy);
    m_animation->setVisible(m_busy);
    if (m_busy)
        ReportPageState(kPageLocked, kActivityUpgrading);
    else
        ReportPageState(kPageFirmware, kActivityIdle);
}

void CTavrinDlg::SetFirmwarePath(const QString& path)
{
    m_firmwarePath = path;
    m_pathEdit->setText(path);
}

void CTavrinDlg::DefaultImagePath()
{
    QString dir = CurrentDirectory();
    if (dir.isEmpty())
        return;
    // A host folder ("/home/x") keeps its own separator.
    if (!dir.endsWith(u'\\') && !dir.endsWith(u'/'))
        dir += dir.startsWith(u'/') ? u'/' : u'\\';
    const QString path = dir + kImageName;
    if (IsFile(path))
        SetFirmwarePath(path);
}

void CTavrinDlg::OnBrowseImage()
{
    const QString chosen = ChooseFileToOpen({this, QDir::currentPath(), kImageFilter, QStringLiteral("bin"),
                                             QStringLiteral("*.bin")});
    if (!chosen.isEmpty())
        SetFirmwarePath(chosen);
}

void CTavrinDlg::OnBrowseKernel()
{
    const QString chosen = ChooseFileToOpen({this, QDir::currentPath(), {}, {}, {}});
    if (!chosen.isEmpty() && QFileInfo(chosen).fileName() == QLatin1String("kernel")) {
        m_kernelPath = chosen;
        m_kernelEdit->setText(chosen);
    }
}

void CTavrinDlg::Stop(const char* key, int type)
{
    m_job = Job::None;
    // After a quit the window closes as the job ends: no one is left to answer.
    if (!m_quitting)
        ShowMessage(LanguageText(key), type);
    SetPageState(kIdle);
}

bool CTavrinDlg::RequestQuit()
{
    if (m_job == Job::None)
        return false;
    m_quitting = true;
    m_worker.RequestStop();
    m_format.RequestStop();
    m_warning->setText(LanguageText("IDC_STRING_MAIN_EXIT_WAITING"));
    COMN_LOG("%s : %s : %d quit asked: the running step is finished first, job:%d", static_cast<int>(m_job));
    return true;
}

void CTavrinDlg::EndJobForQuit(const char* what, int result)
{
    COMN_LOG("%s : %s : %d quit: %s ended with %d", what, result);
    m_job = Job::None;
    SetPageState(kIdle);
}

void CTavrinDlg::OnUpgrade()
{
    if (m_job != Job::None)
        return;
    SetPageState(kBusy);
    m_firmwarePath = m_pathEdit->text();
    if (m_firmwarePath.isEmpty())
        return Stop("IDC_STRING_UPGRADE_SELECT_FILE_WARMING", kMessageWarning);
    if (!IsFile(m_firmwarePath))
        return Stop("IDC_STRING_UPGRADE_SELECT_FILE_EXIST_WARMING", kMessageWarning);
    const kx_device* device = GetSelectedDevice();
    if (!device || !device->path)
        return Stop("IDC_STRING_UPGRADE_SELECT_DEVICE_WARMING", kMessageWarning);
    // The device is written only on an explicit OK; a box not shown is no answer.
    if (ShowMessage(LanguageText("IDC_STRING_UPGRADE_CONFIRM_WARMING"), kMessageQuestion) != 1) {
        SetPageState(kIdle);
        return;
    }
    if (!DiskNeedsSetUp(device->path))
        return StartUpgradeOfSelected();
    // Setting the disk up deletes its partitions: never for an image the
    // upgrade would refuse afterwards. The check reads the whole image, so
    // the worker makes it while the window goes on painting.
    m_job = Job::Verify;
    StartWorker(WorkerOperation::Verify, m_firmwarePath.toStdU16String(), {});
}

void CTavrinDlg::OnImageChecked(int result)
{
    if (m_quitting)
        return EndJobForQuit("image check", result);
    if (result != 0)
        return Stop("IDC_STRING_UPGRADE_UPGRADE_FILE_CHEKC_ERROR", kMessageError);
    m_job = Job::None;
    if (ShowMessage(LanguageText("IDC_STRING_FORMAT_CONFIRM_WARMING"), kMessageQuestion) != 1) {
        SetPageState(kIdle);
        return;
    }
    PrepareDisk();
}

void CTavrinDlg::PrepareDisk()
{
    m_job = Job::DiskSetUp;
    m_format.SetNotifyWindow(&m_formatNotify);
    m_format.SetFormatParam(0, FormatSizes{}, 0);
    m_formatNotify.StartRun();
    m_format.BeginFormat();
}

void CTavrinDlg::StartUpgradeOfSelected()
{
    // Setting the disk up restarts it at times, and it may not come back.
    const kx_device* device = GetSelectedDevice();
    if (!device || !device->path)
        return Stop("IDC_STRING_UPGRADE_SELECT_DEVICE_WARMING", kMessageWarning);
    m_job = Job::Upgrade;
    StartWorker(WorkerOperation::Upgrade, m_firmwarePath.toStdU16String(), Utf8ToWide(device->path));
}

void CTavrinDlg::StartWorker(WorkerOperation operation, std::u16string_view imagePath, std::u16string_view devPath)
{
    if (operation == WorkerOperation::Probe)
        m_worker.SetOperation(operation);
    else
        m_worker.SetJob(operation, imagePath, devPath);
    m_worker.SetWindow(&m_notify);
    m_worker.Start();
}

void CTavrinDlg::OnRefresh()
{
    if (m_job != Job::None)
        return;
    SetPageState(kBusy);
    m_job = Job::Probe;
    StartWorker(WorkerOperation::Probe, {}, {});
}

void CTavrinDlg::OnBack() { emit backRequested(); }

void CTavrinDlg::OnWorkerDone(WorkerOperation operation, int result)
{
    if (operation == WorkerOperation::Probe && m_job == Job::Probe) {
        m_job = Job::None;
        m_deviceList = InitDeviceList(m_combo, "CTavrinDlg", false);
        SetPageState(kIdle);
        SelectDevice(m_combo, m_deviceList);
        return;
    }
    if (operation == WorkerOperation::Verify && m_job == Job::Verify)
        return OnImageChecked(result);
    if (operation != WorkerOperation::Upgrade || m_job != Job::Upgrade)
        return;
    if (m_quitting)
        return EndJobForQuit("upgrade", result);
    m_job = Job::None;
    SetPageState(kIdle);
    if (result == CodeOf(UpgradeResult::Succeeded)) {
        // A restart that did not happen is the operator's to finish.
        const bool replug = m_worker.LastRestart() == RestartOutcome::Failed;
        ShowMessage(LanguageText(replug ? "IDC_STRING_UPGRADE_REPLUG" : "IDC_STRING_UPGRADE_UPGRADE_SUCCESS"),
                    kMessageWarning);
        OnBack();
    } else if (result == CodeOf(UpgradeResult::FileNotVerified)) {
        ShowMessage(LanguageText("IDC_STRING_UPGRADE_UPGRADE_FILE_CHEKC_ERROR"), kMessageError);
    } else if (result == CodeOf(UpgradeResult::DiskBusy)) {
        ShowMessage(LanguageText("IDC_STRING_DISK_BUSY"), kMessageError);
    } else {
        ShowMessage(LanguageText("IDC_STRING_UPGRADE_UPGRADE_ERROR"), kMessageError);
    }
}

void CTavrinDlg::OnFormatProgress(FormatStage stage)
{
    if (m_job != Job::DiskSetUp || stage != FormatStage::Done)
        return;
    // The disk is set up and consistent; its firmware is left unwritten.
    if (m_quitting)
        return EndJobForQuit("disk preparation", 0);
    StartUpgradeOfSelected();
}

void CTavrinDlg::OnFormatError(FormatError error)
{
    if (m_job != Job::DiskSetUp)
        return;
    const int code = CodeOf(error);
    if (m_quitting)
        return EndJobForQuit("disk preparation", code);
    static const char* const keys[] = {"IDC_STRING_FORMAT_FORMAT_ERROR_1", "IDC_STRING_FORMAT_FORMAT_ERROR_2",
                                       "IDC_STRING_FORMAT_FORMAT_ERROR_3", "IDC_STRING_FORMAT_FORMAT_ERROR_4"};
    Stop(code >= 1 && code <= 4               ? keys[code - 1]
         : error == FormatError::DiskBusy    ? "IDC_STRING_DISK_BUSY"
         : error == FormatError::DiskGone    ? "IDC_STRING_DISK_GONE"
                                             : "IDC_STRING_UPGRADE_UPGRADE_ERROR",
         kMessageError);
}

bool CTavrinDlg::event(QEvent* event)
{
    if (event->type() != WindowMessageEvent::EventType())
        return SkinnedPage::event(event);
    if (m_formatNotify.IsClosing())
        return true;
    const auto* message = static_cast<WindowMessageEvent*>(event);
    const int wParam = static_cast<int>(message->wParam);
    if (message->message == WM_WORKER_DONE)
        OnWorkerDone(static_cast<WorkerOperation>(wParam), static_cast<int>(message->lParam));
    else if (message->message == WM_FORMAT_PROGRESS)
        OnFormatProgress(static_cast<FormatStage>(wParam));
    else if (message->message == WM_FORMAT_ERROR)
        OnFormatError(static_cast<FormatError>(wParam));
    return true;
}

void CTavrinDlg::RefreshTexts()
{
    ReloadPageButton(m_refresh, kRefreshKey);
    ReloadPageButton(m_upgrade, kUpgradeKey);
    ReloadPageButton(m_browse, kOpenKey);
    ReloadPageButton(m_back, kBackKey);
    m_warning->setText(LanguageText("IDC_STRING_UPGRADE_TEXT_WARMING"));
    ApplyDialogTexts(this, DialogId());
    ApplyFonts();
}
