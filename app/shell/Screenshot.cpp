#include "app/shell/Screenshot.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "app/core/SelectedDevice.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/shell/MainDlg.h"

bool SaveWindowImage(CMainDlg* window, const QString& file)
{
    const QImage content = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QImage shaped(content.size(), QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    const QRegion shape = window->mask().isEmpty() ? QRegion(window->rect()) : window->mask();
    painter.setClipRegion(shape);
    painter.drawImage(QPoint(0, 0), content);
    painter.end();
    return shaped.save(file, "PNG");
}

void ScreenshotWhenReady(CMainDlg* window, const QString& page, const QString& file)
{
    auto* poll = new QTimer(window);
    auto* waited = new int(0);
    QObject::connect(poll, &QTimer::timeout, window, [=] {
        // The search page probes 200 ms after it starts; wait for its list.
        const bool ready = window->SearchPage()->ProbesDone() > 0 && !window->SearchPage()->IsBusy();
        if (!ready && ++*waited < 600)
            return;
        poll->stop();
        delete waited;
        // With a device selected the pages open as the buttons open them.
        const bool selected = GetSelectedDevice() != nullptr;
        if (page == QLatin1String("firmware"))
            selected ? window->OnFirmwareClicked() : window->ShowPage(kPageFirmware);
        else if (page == QLatin1String("format"))
            selected ? window->OnDiskSetClicked() : window->ShowPage(kPageDiskSetup);
        // Let the page switch and the banner's first frame paint.
        QTimer::singleShot(300, window, [=] {
            const bool saved = SaveWindowImage(window, file);
            if (!saved)
                std::fprintf(stderr, "orvane-config: could not write %s\n", file.toLocal8Bit().constData());
            window->done(saved ? 0 : 1);
        });
    });
    poll->start(50);
}
