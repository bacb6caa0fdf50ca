// Writing the built-in language data into the shared templates folder.
#include <string>

#include "app/core/language/LanguageGlobals.h"
#include "app/core/language/PublicFunction.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/ExecutableResources.h"
#include "app/core/support/ScopedHandle.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

bool Exists(const std::u16string& path) { return win::GetFileAttributesW(path.c_str()) != win::INVALID_FILE_ATTRIBUTES; }

std::u16string TemplatesFolder()
{
    char path[win::MAX_PATH] = {};
    if (!win::SHGetSpecialFolderPathA(nullptr, path, win::CSIDL_COMMON_TEMPLATES, win::FALSE))
        return {};
    return CPublicFunction::GetInstance().AnsiToWide(path);
}

}  // namespace

bool CPublicFunction::CreateMultiLanguage()
{
    const std::u16string folder = TemplatesFolder();
    {
        LanguageGlobals& globals = TheLanguageGlobals();
        std::lock_guard guard(globals.lock);
        globals.dataFolder = folder;
    }
    const std::u16string settingPath = SettingPath();
    const std::u16string languageFolder = folder + u"\\UpgradeLanguage";
    const std::u16string chinesePath = languageFolder + u"\\Multi_ch.ini";
    const std::u16string englishPath = languageFolder + u"\\Multi_eng.ini";
    const std::u16string taiwPath = languageFolder + u"\\Multi_taiw.ini";
    COMN_LOG("%s : %s : %d CreateSetupLangIniFile strSettingpath:%s, strChinesePath:%s, strEnglishPath:%s, "
             "strTaiwPath:%s",
             WideToUtf8(settingPath).c_str(), WideToUtf8(chinesePath).c_str(), WideToUtf8(englishPath).c_str(),
             WideToUtf8(taiwPath).c_str());

    // The device console tool is rewritten on every start.
    const std::u16string toolPath = folder + u"\\cmddev.exe";
    if (Exists(toolPath))
        win::DeleteFileW(toolPath.c_str());
    ExtractResourceToFile(kResourceDeviceTool, "EXE", toolPath);

    const bool settingExisted = Exists(settingPath);
    if (!settingExisted)
        ExtractResourceToFile(kResourceSettingIni, "INI", settingPath);

    // Always refreshed, so edits to the language files do not survive a restart.
    const std::pair<const std::u16string*, int> files[] = {
        {&chinesePath, kResourceChineseIni}, {&englishPath, kResourceEnglishIni}, {&taiwPath, kResourceTraditionalIni}};
    for (const auto& [path, resource] : files) {
        if (Exists(*path))
            win::DeleteFileW(path->c_str());
        else if (!Exists(languageFolder))
            win::CreateDirectoryW(languageFolder.c_str(), nullptr);
        ExtractResourceToFile(resource, "INI", *path);
    }
    return settingExisted;
}

bool CPublicFunction::ExtractResourceToFile(int id, std::string_view type, std::u16string_view path) const
{
    std::span<const unsigned char> bytes;
    if (!FindExecutableResource(id, type, &bytes))
        return false;
    const std::u16string target(path);
    ScopedHandle file(win::CreateFileW(target.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                       win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    win::DWORD written = 0;
    const bool ok = win::WriteFile(file.Get(), bytes.data(), static_cast<win::DWORD>(bytes.size()), &written,
                                   nullptr) != win::FALSE;
    return ok && written == bytes.size() && file.Close();
}
