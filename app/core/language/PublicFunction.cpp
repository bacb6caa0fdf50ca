#include "app/core/language/PublicFunction.h"

#include "app/core/language/LanguageGlobals.h"
#include "app/core/language/PrivateProfile.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

constexpr size_t kProfileBufferChars = 1000;

// The language files carry line breaks as the two characters \ and n.
std::u16string ExpandLineBreaks(std::u16string text)
{
    for (size_t pos = text.find(u"\\n"); pos != std::u16string::npos; pos = text.find(u"\\n", pos + 1))
        text.replace(pos, 2, u"\n");
    return text;
}

std::u16string LanguageFolder(const std::u16string& dataFolder) { return dataFolder + u"\\UpgradeLanguage"; }

}  // namespace

LanguageGlobals& TheLanguageGlobals()
{
    // Never freed: worker threads may still look texts up during exit.
    static auto* globals = new LanguageGlobals;
    return *globals;
}

CPublicFunction& CPublicFunction::GetInstance()
{
    static auto* instance = new CPublicFunction;
    return *instance;
}

std::u16string CPublicFunction::GetLanguageString(std::u16string_view key) const
{
    const std::u16string path = GetLanguagePath();
    return ExpandLineBreaks(ReadPrivateProfileText(path, u"String", key, u"Not found", kProfileBufferChars));
}

void CPublicFunction::LoadLanguage(std::u16string_view requested)
{
    LanguageGlobals& globals = TheLanguageGlobals();
    {
        std::lock_guard guard(globals.lock);
        globals.languageList.clear();
    }
    const std::u16string name = requested.empty() ? ReadSettingLanguage() : std::u16string(requested);
    const std::u16string folder = LanguageFolder(GetDataFolder());
    const std::u16string pattern = folder + u"\\*.ini";

    win::WIN32_FIND_DATAW found{};
    win::HANDLE find = win::FindFirstFileW(pattern.c_str(), &found);
    for (bool more = find != win::INVALID_HANDLE_VALUE; more; more = win::FindNextFileW(find, &found) != win::FALSE) {
        const std::u16string fileName = found.cFileName;
        if (fileName == u"." || fileName == u".." || (found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const std::u16string path = folder + u"\\" + fileName;
        const std::u16string language = ReadPrivateProfileText(path, u"Setting", u"Language", u"", kProfileBufferChars);
        if (language.empty())
            continue;
        if (language == name) {
            {
                std::lock_guard guard(globals.lock);
                globals.g_szLanguagePath = path;
            }
            COMN_LOG("%s : %s : %d   当前选择语言路径 g_szLanguagePath:%s", WideToUtf8(path).c_str());
        }
        std::u16string privateName = ReadPrivateProfileText(path, u"Setting", u"PRIVATENAME", u"", kProfileBufferChars);
        std::lock_guard guard(globals.lock);
        globals.languageList.push_back({language, std::move(privateName)});
    }
    if (find != win::INVALID_HANDLE_VALUE)
        win::FindClose(find);
    WriteSettingLanguage(name);
}

std::vector<LanguageListEntry> CPublicFunction::GetLanguageList() const
{
    LanguageGlobals& globals = TheLanguageGlobals();
    std::lock_guard guard(globals.lock);
    return globals.languageList;
}

std::u16string CPublicFunction::GetLanguagePath() const
{
    LanguageGlobals& globals = TheLanguageGlobals();
    std::lock_guard guard(globals.lock);
    return globals.g_szLanguagePath;
}

std::u16string CPublicFunction::GetDataFolder() const
{
    LanguageGlobals& globals = TheLanguageGlobals();
    std::lock_guard guard(globals.lock);
    return globals.dataFolder;
}
