#include "app/shell/Screenshot.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "app/core/jobs/SelectedDevice.h"
#include "app/shell/MainDlg.h"
#include "app/shell/StartPage.h"

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
    AfterFirstSearch(window, [=] {
        // With a device selected the pages open as the buttons open them;
        // without one the picture still shows the page asked for.
        if (GetSelectedDevice())
            OpenStartPage(window, page);
        else if (page == QLatin1String("firmware"))
            window->ShowPage(kPageFirmware);
        else if (page == QLatin1String("format"))
            window->ShowPage(kPageDiskSetup);
        // Let the page switch and the banner's first frame paint.
        QTimer::singleShot(300, window, [=] {
            const bool saved = SaveWindowImage(window, file);
            if (!saved)
                std::fprintf(stderr, "orvane-config: could not write %s\n", file.toLocal8Bit().constData());
            window->done(saved ? 0 : 1);
        });
    });
}
