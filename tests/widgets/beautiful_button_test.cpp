// The image button: offsets read like atoi, the caption and the fallback
// face's offset, the image each state draws, the size the images give it.
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/LanguageFonts.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

constexpr int kSet = 5030;  // 79 x 23

TEST(BeautifulButtonTest, SkinReplacesOnlyGivenTextsAndFollowsImageSize)
{
    CBeautifulButton button(kSet, QStringLiteral("OK"), QStringLiteral("20"), QStringLiteral("4"));
    EXPECT_EQ(button.size(), QSize(79, 23));
    button.SetSkin(5040, QString(), QString(), QStringLiteral("7"));
    EXPECT_EQ(button.caption(), QStringLiteral("OK"));
    EXPECT_EQ(button.captionOffset(), QPoint(20, 7));
    EXPECT_EQ(button.size(), QSize(65, 23));
    button.SetSkin(kSet, QStringLiteral("Cancel"), QStringLiteral("abc"), QStringLiteral(" 12px"));
    EXPECT_EQ(button.caption(), QStringLiteral("Cancel"));
    EXPECT_EQ(button.captionOffset(), QPoint(0, 12));

    button.setGeometry(0, 0, 120, 40);
    button.SetSkin(5010, QString(), QStringLiteral("-3"), QString());
    EXPECT_EQ(button.captionOffset(), QPoint(-3, 12));
    EXPECT_EQ(button.size(), QSize(120, 40)) << "placed by its owner";
}

TEST(BeautifulButtonTest, CaptionDrawnAndFallbackFaceMovesOffsetThreeToSix)
{
    UseLanguage(u"English");  // Microsoft Sans Serif not listed
    const QImage normal = Artwork("PNG", kSet);
    CBeautifulButton three(kSet, QStringLiteral("Not found"), QStringLiteral("0"), QStringLiteral("3"));
    CBeautifulButton four(kSet, QStringLiteral("Next"), QStringLiteral("0"), QStringLiteral("4"));
    const QImage shot = Grab(three);
    Grab(four);
    EXPECT_EQ(three.captionOffset(), QPoint(0, 6));
    EXPECT_EQ(four.captionOffset(), QPoint(0, 4));
    int lighter = 0;
    for (int y = 6; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            lighter += QColor(shot.pixel(x, y)).lightness() > QColor(normal.pixel(x, y)).lightness() + 40;
    EXPECT_GT(lighter, 10) << "white caption pixels from the top-left";

    UseLanguage(u"Chinese");
    SetInstalledFonts({QStringLiteral("微软雅黑")});
    CBeautifulButton yaHei(kSet, QStringLiteral("下一步"), QStringLiteral("0"), QStringLiteral("3"));
    Grab(yaHei);
    EXPECT_EQ(yaHei.captionOffset(), QPoint(0, 3));
    SetInstalledFonts({});
    UseLanguage(u"");
}

TEST(BeautifulButtonTest, StatesDrawTheirImages)
{
    QImage images[4];
    for (int i = 0; i < 4; ++i)
        images[i] = Artwork("PNG", kSet + i);
    CBeautifulButton button(kSet, QString(), QString(), QString());
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    auto expectShows = [&](int shown, int other) {
        const QPoint at = Distinguishing(images[shown], images[other]);
        EXPECT_EQ(Grab(button).pixel(at), images[shown].pixel(at)) << "image " << shown;
    };

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.isHovered());
    expectShows(1, 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isHovered());
    expectShows(0, 1);

    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton);
    expectShows(2, 0);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);

    QApplication::sendEvent(&button, &enter);
    button.setEnabled(false);
    expectShows(3, 1);
}

}  // namespace
