#include "app/ui/LanguageText.h"

#include <string>

#include "app/core/language/PrivateProfile.h"
#include "app/core/language/PublicFunction.h"

namespace {

QString FromWide(const std::u16string& text) { return QString::fromStdU16String(text); }

std::u16string ToWide(const char* key)
{
    const std::string narrow(key);
    return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace

QString LanguageText(const char* key) { return FromWide(CPublicFunction::GetInstance().GetLanguageString(ToWide(key))); }

QString DialogKeyText(const QString& key)
{
    const std::u16string path = CPublicFunction::GetInstance().GetLanguagePath();
    return FromWide(ReadPrivateProfileText(path, u"String", key.toStdU16String(), u"", 1000));
}

ButtonCaption ButtonCaptionOf(const char* key)
{
    const std::string base(key);
    return {LanguageText(key), LanguageText((base + "_X").c_str()), LanguageText((base + "_Y").c_str())};
}
