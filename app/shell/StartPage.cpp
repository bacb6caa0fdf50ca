#include "app/shell/StartPage.h"

#include <QTimer>

#include "app/pages/DeviceSearchDlg.h"
#include "app/shell/MainDlg.h"

namespace {

constexpr int kPollMs = 50;
constexpr int kMaxPolls = 600;

}  // namespace

void AfterFirstSearch(CMainDlg* window, std::function<void()> then)
{
    auto* poll = new QTimer(window);
    auto polls = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, window, [=] {
        // The search page probes 200 ms after it starts; wait for its list.
        const bool ready = window->SearchPage()->ProbesDone() > 0 && !window->SearchPage()->IsBusy();
        if (!ready && ++*polls < kMaxPolls)
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start(kPollMs);
}

void OpenStartPage(CMainDlg* window, const QString& page)
{
    if (page == QLatin1String("firmware"))
        window->OnFirmwareClicked();
    else if (page == QLatin1String("format"))
        window->OnDiskSetClicked();
}
