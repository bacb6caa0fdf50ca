#include "app/shell/TavrinApp.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/core/language/PublicFunction.h"
#include "app/core/log/ComnLog.h"
#include "app/shell/AppOptions.h"
#include "app/shell/EmbeddedTools.h"
#include "app/shell/FontSubstitutes.h"
#include "app/shell/InputHookFilter.h"
#include "app/shell/MachineChoice.h"
#include "app/shell/MainDlg.h"
#include "app/shell/Screenshot.h"
#include "app/shell/StartPage.h"
#include "app/widgets/ResourceImage.h"
#include "kx/kx.h"

namespace {

// The day log files live in the user's state folder (XDG), never in
// whatever folder the window was started from: the start-up pruning deletes
// old ones there. The current folder only when there is no home at all.
QString LogFolder()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    QString folder;
    if (state.startsWith('/'))
        folder = QString::fromLocal8Bit(state) + QStringLiteral("/orvane-config");
    else if (const QString home = QDir::homePath(); home != QDir::rootPath())
        folder = home + QStringLiteral("/.local/state/orvane-config");
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QDir::currentPath();
    return folder;
}

}  // namespace

std::u16string CTavrinApp::StartLanguage()
{
    CPublicFunction& language = CPublicFunction::GetInstance();
    const bool notFirstRun = language.CreateMultiLanguage();
    if (!m_options.language.isEmpty())
        return m_options.language.toStdU16String();
    if (notFirstRun)
        return {};  // the remembered choice
    switch (language.DetectSystemLanguage()) {
    case 1:
        return u"Chinese";
    case 2:
        return u"Traditional";
    default:
        return u"English";
    }
}

bool CTavrinApp::Start()
{
    QCoreApplication::setOrganizationName(QString::fromUtf8("应用程序向导生成的本地应用程序"));
    // The running application writes no log lines; the pruning still runs.
    CComnLog::GetInstance().Init(false, LogFolder().toStdU16String());
    if (!kx_soft_init()) {
        m_stage = Stage::LibraryFailed;
        COMN_LOG("%s : %s : %d\t初始化不成功");
        m_exitCode = 1;
        return false;
    }
    CInputHookFilter::Install();
    RegisterEmbeddedTools();
    CPublicFunction::GetInstance().LoadLanguage(StartLanguage());
    return true;
}

void CTavrinApp::RunMainWindow()
{
    CMainDlg window;
    if (!m_options.screenshotFile.isEmpty())
        ScreenshotWhenReady(&window, m_options.page, m_options.screenshotFile);
    else if (m_options.page != QLatin1String("search"))  // the search page shows anyway
        AfterFirstSearch(&window, [&window, page = m_options.page] { OpenStartPage(&window, page); });
    const int result = window.exec();
    // A screenshot run ends with 1 when the picture could not be written.
    m_exitCode = m_options.screenshotFile.isEmpty() ? 0 : result;
}

bool CTavrinApp::InitInstance()
{
    if (Start())
        RunMainWindow();
    return false;
}

int CTavrinApp::ExitInstance()
{
    if (m_stage == Stage::Started) {
        kx_dev_destroy();
        kx_soft_exit();
    }
    return m_exitCode;
}

int RunTavrinApp(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString error;
    bool help = false;
    const std::optional<AppOptions> options = ParseAppOptions(QCoreApplication::arguments(), &error, &help);
    if (!options) {
        std::fputs(AppUsage().toLocal8Bit().constData(), help ? stdout : stderr);
        if (!help)
            std::fprintf(stderr, "orvane-config: %s\n", error.toLocal8Bit().constData());
        return help ? 0 : 2;
    }
    if (!options->machineDir.isEmpty()) {
        if (const std::string why = ChooseMachine(options->machineDir.toStdString()); !why.empty()) {
            std::fprintf(stderr, "orvane-config: %s\n", why.c_str());
            return 2;
        }
    }
    InitArtwork();
    InstallFontSubstitutes();

    CTavrinApp tavrin(*options);
    tavrin.InitInstance();
    return tavrin.ExitInstance();
}
