// The built-in language files: every key in file order with its value in each
// of the three languages, and the UTF-16LE bytes of each file.
#pragma once

#include <span>
#include <string>

enum class LanguageId { Chinese = 0, English = 1, Traditional = 2 };

struct LanguageText {
    const char* key;
    // UTF-8; a value that must keep inner quotes is stored quoted.
    const char* english;
    const char* chinese;
    const char* traditional;
};

std::span<const LanguageText> LanguageTexts();
const char* LanguageTextValue(const LanguageText& text, LanguageId language);
// The [Setting] section's Language (internal name) and PRIVATENAME.
const char* LanguageInternalName(LanguageId language);
const char* LanguagePrivateName(LanguageId language);
// The whole file: BOM FF FE, CRLF line ends, UTF-16LE.
std::string BuildLanguageFile(LanguageId language);
