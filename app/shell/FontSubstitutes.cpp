#include "app/shell/FontSubstitutes.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutes()
{
    // CJK-capable faces first, so Chinese captions never show missing glyphs.
    const QStringList cjk = {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                             QStringLiteral("Droid Sans Fallback")};
    for (const char* face : {"宋体", "微软雅黑", "Microsoft YaHei"})
        QFont::insertSubstitutions(QString::fromUtf8(face), cjk);
    QFont::insertSubstitutions(QStringLiteral("Microsoft Sans Serif"),
                               QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")} + cjk);
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                               QStringList{QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif")} + cjk);
}
