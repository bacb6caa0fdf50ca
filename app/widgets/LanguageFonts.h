// Fonts that follow the interface language: which of the faces the artwork
// was drawn for are installed, and the title/body/small fonts built from them.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// What GetFontKind() reports: the face a caption is drawn in.
enum FontKind {
    kFontSimSun = 0,         // 宋体, the fallback
    kFontYaHeiLocal = 1,     // 微软雅黑
    kFontMsSansSerif = 2,    // Microsoft Sans Serif
    kFontYaHeiEnglish = 3,   // Microsoft YaHei
};

// Roles for CreateLanguageFont.
enum FontRole {
    kFontRoleTitle = 1,
    kFontRoleBody = 2,
    kFontRoleSmall = 3,
};

// Refills the process-wide list with the wanted faces found among the
// installed families, in the order the font database reports them. The
// window is accepted for the callers' sake; Qt needs no device context.
void EnumerateFonts(QWidget* window);

// Replaces the list as if those faces had been found; for tests.
void SetInstalledFonts(const QStringList& faces);
QStringList InstalledFonts();

// 0 to 3 as FontKind, from the current language and the list.
int GetFontKind();
// The face name of a FontKind; the fallback face for unknown values.
QString FontKindFace(int kind);

// Builds the language's font for a role. For a language without fonts of
// its own the font is only reset to a default QFont and false is returned.
bool CreateLanguageFont(QFont& font, int role);
// The pixel size at which the face's character cell is cellHeight high.
int PixelSizeForCellHeight(QFont font, int cellHeight);
