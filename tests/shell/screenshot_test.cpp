// Screenshots of the whole skinned window, made by the application itself
// on an X server, and the fonts that draw its texts.
#include <QAbstractButton>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <cstdlib>

#include "app/pages/DeviceSearchDlg.h"
#include "app/shell/MainDlg.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/LanguageFonts.h"
#include "app_fixture.h"

namespace {

using app_testing::AppMachine;
using app_testing::WaitFor;
using testing_support::buildDir;
using testing_support::runCommand;

class ScreenshotTest : public AppMachine {
protected:
    // 0 when written; the image in *image.
    int Screenshot(const char* language, QImage* image)
    {
        const std::string file = (dir_.parent_path() / (std::string(language) + ".png")).string();
        std::string out;
        const int status = runCommand("xvfb-run -a -s '-screen 0 1024x768x24' " + buildDir() + "/orvane-config --machine " +
                                          dir_.string() + " --screenshot " + file + " --lang " + language,
                                      &out);
        EXPECT_EQ(status, 0) << out;
        *image = QImage(QString::fromStdString(file));
        return status;
    }
};

TEST_F(ScreenshotTest, SearchPageInEnglishAndSimplifiedChinese)
{
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xvfb-run is not installed (./dev setup installs it)";
    QImage english, chinese;
    ASSERT_EQ(Screenshot("English", &english), 0);
    ASSERT_EQ(Screenshot("Chinese", &chinese), 0);
    for (const QImage* shot : {&english, &chinese}) {
        ASSERT_EQ(shot->size(), QSize(547, 453));
        // Cut to shape: the top-left corner is a hole, the middle is window.
        EXPECT_EQ(qAlpha(shot->pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(shot->pixel(273, 226)), 255);
    }
    // The captions differ between the languages, the artwork around them does not.
    const QRect searchButton(10, 124, 95, 35);
    EXPECT_NE(english.copy(searchButton), chinese.copy(searchButton));
}

// Every character of every text on the search page has a glyph in the font
// that draws it (fallbacks included), so nothing shows as a missing-glyph box.
TEST_F(ScreenshotTest, EveryTextOnTheWindowHasGlyphs)
{
    for (const char* language : {"English", "Chinese", "Traditional"}) {
        SCOPED_TRACE(language);
        StartApp(QString::fromLatin1(language));
        CMainDlg window;
        window.show();
        for (QLabel* label : window.findChildren<QLabel*>()) {
            const QFontMetrics metrics(label->font());
            for (const QChar c : label->text())
                EXPECT_TRUE(c.isSpace() || metrics.inFont(c))
                    << label->text().toStdString() << ": U+" << std::hex << static_cast<int>(c.unicode());
        }
        for (CBeautifulButton* button : window.findChildren<CBeautifulButton*>()) {
            QFont font(FontKindFace(GetFontKind()));
            font.setPixelSize(12);
            const QFontMetrics metrics(font);
            for (const QChar c : button->caption())
                EXPECT_TRUE(c.isSpace() || metrics.inFont(c)) << button->caption().toStdString();
        }
        app_->ExitInstance();
        app_.reset();
    }
}

}  // namespace
