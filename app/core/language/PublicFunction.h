// The language layer: writes the built-in language files into the shared
// templates folder, chooses and remembers the language and looks texts up.
// The class holds no state; its state is the process-wide language globals.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct LanguageListEntry {
    std::u16string language;     // internal name, [Setting] Language
    std::u16string privateName;  // shown in the language combo box
};

class CPublicFunction {
public:
    // The one process-wide instance, created on first use.
    static CPublicFunction& GetInstance();

    // True when setting.txt existed before (not a first run).
    bool CreateMultiLanguage();
    // An empty name means the remembered one.
    void LoadLanguage(std::u16string_view name);

    // Writes the executable's resource verbatim; false when it is missing or
    // the file cannot be written.
    bool ExtractResourceToFile(int id, std::string_view type, std::u16string_view path) const;

    std::u16string GetLanguageString(std::u16string_view key) const;
    std::u16string ReadSettingLanguage() const;
    void WriteSettingLanguage(std::u16string_view name) const;
    std::u16string GetCurrentLanguage() const { return ReadSettingLanguage(); }
    // 0 English, 1 Chinese, 2 Traditional.
    int DetectSystemLanguage() const;

    std::u16string AnsiToWide(const char* text) const;
    // Zero-terminated, in the OEM code page.
    std::unique_ptr<char[]> WideToOem(std::u16string_view text) const;

    std::vector<LanguageListEntry> GetLanguageList() const;
    std::u16string GetLanguagePath() const;
    // The shared templates folder remembered by CreateMultiLanguage.
    std::u16string GetDataFolder() const;

    CPublicFunction(const CPublicFunction&) = delete;
    CPublicFunction& operator=(const CPublicFunction&) = delete;

private:
    CPublicFunction() = default;
    std::u16string SettingPath() const;
};
