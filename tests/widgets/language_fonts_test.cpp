// Which face each language gets from the installed list, and its sizes.
#include "app/widgets/LanguageFonts.h"
#include "widgets_test_support.h"

namespace {

using widgets_test::UseLanguage;

const QString kYaHei = QStringLiteral("微软雅黑");
const QString kYaHeiEn = QStringLiteral("Microsoft YaHei");
const QString kSans = QStringLiteral("Microsoft Sans Serif");
const QString kSimSun = QStringLiteral("宋体");

struct LanguageFontsTest : ::testing::Test {
    void TearDown() override
    {
        SetInstalledFonts({});
        UseLanguage(u"");
    }
};

TEST_F(LanguageFontsTest, FaceKindAndSizesFollowLanguageAndList)
{
    struct Case {
        std::u16string_view language;
        QStringList fonts;
        int kind;
        QString face;
        int heights[3];
    };
    const Case cases[] = {
        {u"Chinese", {kSans, kYaHeiEn, kYaHei}, kFontYaHeiEnglish, kYaHeiEn, {21, 17, 16}},
        {u"Traditional", {kYaHei, kYaHeiEn}, kFontYaHeiLocal, kYaHei, {21, 17, 16}},
        {u"Chinese", {kSans}, kFontSimSun, kSimSun, {21, 13, 12}},
        {u"English", {kYaHei, kSans}, kFontMsSansSerif, kSans, {22, 15, 14}},
        {u"English", {kYaHei, kYaHeiEn}, kFontSimSun, kSimSun, {22, 13, 12}},
    };
    for (const Case& c : cases) {
        UseLanguage(c.language);
        SetInstalledFonts(c.fonts);
        SCOPED_TRACE(QString::fromUtf16(c.language.data(), c.language.size()).toStdString() + " with " +
                     c.fonts.join(u',').toStdString());
        EXPECT_EQ(GetFontKind(), c.kind);
        for (int role = kFontRoleTitle; role <= kFontRoleSmall; ++role) {
            QFont font(QStringLiteral("Serif"), 30, QFont::Bold);
            ASSERT_TRUE(CreateLanguageFont(font, role));
            EXPECT_EQ(font.family(), c.face);
            // The height is the character cell's, as the dialogs' fonts give it.
            const int cell = QFontMetrics(font).height();
            EXPECT_LE(cell, c.heights[role - 1] + 1) << "role " << role;
            EXPECT_GE(cell, c.heights[role - 1] - 2) << "role " << role;
            EXPECT_EQ(font.weight(), QFont::Normal);
        }
    }
}

TEST_F(LanguageFontsTest, OtherLanguagesOnlyResetTheFont)
{
    SetInstalledFonts({kYaHei, kSans});
    for (std::u16string_view language : {u"Deutsch", u""}) {
        UseLanguage(language);
        EXPECT_EQ(GetFontKind(), kFontSimSun);
        QFont font(QStringLiteral("Serif"), 30, QFont::Bold);
        EXPECT_FALSE(CreateLanguageFont(font, kFontRoleBody));
        EXPECT_EQ(font, QFont());
    }
}

}  // namespace
