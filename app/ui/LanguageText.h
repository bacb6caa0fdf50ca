// Texts of the current language as Qt strings.
#pragma once

#include <QString>

// GetLanguageString: "Not found" when the key is missing.
QString LanguageText(const char* key);
// A dialog key ("IDD132_Title"): empty when missing, so templates keep their text.
QString DialogKeyText(const QString& key);

// A skinned button's caption with its offsets, looked up as key, key_X, key_Y.
struct ButtonCaption {
    QString caption;
    QString x;
    QString y;
};
ButtonCaption ButtonCaptionOf(const char* key);
