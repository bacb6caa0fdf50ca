// orvane-artwork OUTDIR: draws every image of the application into OUTDIR
// (the repository's app/resources), the same bytes on every run.
#include "Animations.h"
#include "Controls.h"
#include "Icons.h"
#include "ImageFiles.h"
#include "Pages.h"
#include "Windows.h"

#include <QGuiApplication>

#include <cstdio>

using namespace look;

namespace {

constexpr State kStates[] = {State::Normal, State::Hover, State::Pressed, State::Disabled};

void WriteButtonSet(ImageFiles& out, int firstId, int width, int height, Glyph glyph)
{
    for (int i = 0; i < 4; ++i)
        out.png(firstId + i, ButtonImage(width, height, kStates[i], glyph), ImageFiles::Alpha::Keep);
}

void WriteAll(ImageFiles& out)
{
    const std::vector<gif::CanvasFrame> banner = BannerFrames();
    const QImage window = MainWindowBackground(banner.front().image);
    out.png(135, window, ImageFiles::Alpha::Keep);
    out.bmp(134, ShapeBitmap(window));
    out.gif(169, gif::EncodeCanvasFrames(banner, 0));

    const QImage message = MessageBoxBackground();
    out.png(178, message, ImageFiles::Alpha::Keep);
    out.bmp(179, ShapeBitmap(message));
    out.png(176, ErrorIcon(), ImageFiles::Alpha::Keep);
    out.png(177, WarningIcon(), ImageFiles::Alpha::Keep);

    const QImage search = PageBackground(PageKind::Search);
    out.png(149, search, ImageFiles::Alpha::Drop);
    out.png(148, PageBackground(PageKind::DiskSetup), ImageFiles::Alpha::Drop);
    out.gif(150, gif::EncodeCanvasFrames(BusyFrames(search.copy(kBusyRect)), 0));

    out.png(174, PartitionPanel(), ImageFiles::Alpha::Drop);
    out.png(172, SizeField(), ImageFiles::Alpha::Drop);
    out.bmp(164, DragBar());
    out.png(161, DragHandle(), ImageFiles::Alpha::Drop);
    out.bmp(170, ProgressBar(false));
    out.bmp(171, ProgressBar(true));
    out.bmp(184, ComboArrowImage(true));
    out.bmp(185, ComboArrowImage(false));

    // Radio images: checked, hover, normal, disabled.
    out.png(165, RadioImage(State::Pressed), ImageFiles::Alpha::Drop);
    out.png(166, RadioImage(State::Hover), ImageFiles::Alpha::Drop);
    out.png(167, RadioImage(State::Normal), ImageFiles::Alpha::Drop);
    out.png(168, RadioImage(State::Disabled), ImageFiles::Alpha::Drop);

    // The close button sits at row 10 of the main window's band.
    for (int i = 0; i < 4; ++i)
        out.png(5000 + i, CloseButtonImage(kStates[i], 10), ImageFiles::Alpha::Drop);
    WriteButtonSet(out, 5010, 95, 35, Glyph::Disk);
    WriteButtonSet(out, 5020, 95, 35, Glyph::Firmware);
    WriteButtonSet(out, 5050, 95, 35, Glyph::Search);
    WriteButtonSet(out, 5030, 79, 23, Glyph::None);
    WriteButtonSet(out, 5040, 65, 23, Glyph::None);

    out.png(128, AppIcon(48), ImageFiles::Alpha::Keep);
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-artwork OUTDIR\n");
        return 2;
    }
    ImageFiles out(QString::fromLocal8Bit(argv[1]));
    WriteAll(out);
    if (!out.errors().isEmpty()) {
        std::fprintf(stderr, "%s", qPrintable(out.errors()));
        return 1;
    }
    std::printf("%d images written to %s\n", out.written(), argv[1]);
    return 0;
}
