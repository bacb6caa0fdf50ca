#include "app/widgets/LanguageFonts.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include <QFontDatabase>
#include <mutex>
#include <string>

#include "app/core/language/PublicFunction.h"

namespace {

const QString kSimSun = QStringLiteral("宋体");
const QString kYaHeiLocal = QStringLiteral("微软雅黑");
const QString kYaHeiEnglish = QStringLiteral("Microsoft YaHei");
const QString kMsSansSerif = QStringLiteral("Microsoft Sans Serif");

struct InstalledList {
    std::mutex lock;
    QStringList faces;
};

InstalledList& TheInstalledList()
{
    static auto* list = new InstalledList;
    return *list;
}

enum class Language { Chinese, English, Other };

Language CurrentLanguage()
{
    const std::u16string name = CPublicFunction::GetInstance().GetCurrentLanguage();
    if (name == u"Chinese" || name == u"Traditional")
        return Language::Chinese;
    if (name == u"English")
        return Language::English;
    return Language::Other;
}

// The first YaHei entry in list order decides between its two names.
QString FirstYaHei(const QStringList& faces)
{
    for (const QString& face : faces)
        if (face == kYaHeiLocal || face == kYaHeiEnglish)
            return face;
    return {};
}

}  // namespace

void EnumerateFonts(QWidget* window)
{
    Q_UNUSED(window);
    QStringList found;
    for (const QString& family : QFontDatabase::families())
        if (family == kMsSansSerif || family == kYaHeiLocal || family == kYaHeiEnglish)
            found.append(family);
    SetInstalledFonts(found);
}

void SetInstalledFonts(const QStringList& faces)
{
    InstalledList& list = TheInstalledList();
    std::lock_guard guard(list.lock);
    list.faces = faces;
}

QStringList InstalledFonts()
{
    InstalledList& list = TheInstalledList();
    std::lock_guard guard(list.lock);
    return list.faces;
}

int GetFontKind()
{
    const QStringList faces = InstalledFonts();
    switch (CurrentLanguage()) {
    case Language::Chinese: {
        const QString yaHei = FirstYaHei(faces);
        if (yaHei == kYaHeiLocal)
            return kFontYaHeiLocal;
        if (yaHei == kYaHeiEnglish)
            return kFontYaHeiEnglish;
        return kFontSimSun;
    }
    case Language::English:
        return faces.contains(kMsSansSerif) ? kFontMsSansSerif : kFontSimSun;
    case Language::Other:
        break;
    }
    return kFontSimSun;
}

QString FontKindFace(int kind)
{
    switch (kind) {
    case kFontYaHeiLocal:
        return kYaHeiLocal;
    case kFontMsSansSerif:
        return kMsSansSerif;
    case kFontYaHeiEnglish:
        return kYaHeiEnglish;
    default:
        return kSimSun;
    }
}

int PixelSizeForCellHeight(QFont font, int cellHeight)
{
    font.setPixelSize(cellHeight);
    const int cell = QFontMetrics(font).height();
    if (cell <= cellHeight)
        return cellHeight;
    return std::max(1, static_cast<int>(std::lround(double(cellHeight) * cellHeight / cell)));
}

bool CreateLanguageFont(QFont& font, int role)
{
    font = QFont();
    const QStringList faces = InstalledFonts();
    QString face;
    int heights[3] = {};
    switch (CurrentLanguage()) {
    case Language::Chinese:
        face = FirstYaHei(faces);
        if (!face.isEmpty()) {
            heights[0] = 21, heights[1] = 17, heights[2] = 16;
        } else {
            face = kSimSun;
            heights[0] = 21, heights[1] = 13, heights[2] = 12;
        }
        break;
    case Language::English:
        if (faces.contains(kMsSansSerif)) {
            face = kMsSansSerif;
            heights[0] = 22, heights[1] = 15, heights[2] = 14;
        } else {
            face = kSimSun;
            heights[0] = 22, heights[1] = 13, heights[2] = 12;
        }
        break;
    case Language::Other:
        return false;
    }
    font.setFamily(face);
    // The heights are the dialog's positive LOGFONT heights: the whole
    // character cell (ascent plus descent) in pixels, not the em size. An
    // unknown role keeps the default size, as a zero height would.
    if (role >= kFontRoleTitle && role <= kFontRoleSmall)
        font.setPixelSize(PixelSizeForCellHeight(font, heights[role - 1]));
    return true;
}
