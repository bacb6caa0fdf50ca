// setting.txt: the remembered language's internal name in the system code
// page, no byte-order mark and no line end.
#include <cstdio>
#include <memory>
#include <vector>

#include "app/core/language/LanguageGlobals.h"
#include "app/core/language/PublicFunction.h"
#include "app/core/support/ScopedHandle.h"
#include "platform/win_api.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool Exists(const std::u16string& path) { return win::GetFileAttributesW(path.c_str()) != win::INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::u16string CPublicFunction::SettingPath() const { return GetDataFolder() + u"\\setting.txt"; }

std::u16string CPublicFunction::ReadSettingLanguage() const
{
    const std::u16string path = SettingPath();
    if (!Exists(path))
        return {};
    FilePtr file(win::_wfopen(path.c_str(), u"rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return {};
    const long size = std::ftell(file.get());
    if (size <= 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return {};
    // Twice the length, zeroed, so the text always ends in a zero byte.
    std::vector<char> buffer(static_cast<size_t>(size) * 2, '\0');
    if (std::fread(buffer.data(), 1, static_cast<size_t>(size), file.get()) == 0)
        return {};
    return AnsiToWide(buffer.data());
}

void CPublicFunction::WriteSettingLanguage(std::u16string_view name) const
{
    const std::u16string path = SettingPath();
    if (!Exists(path)) {
        ScopedHandle created(win::CreateFileW(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                              win::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created.IsValid())
            return;
    }
    FilePtr file(win::_wfopen(path.c_str(), u"wt"));
    if (!file)
        return;
    std::string text;
    if (!name.empty()) {
        const int size = static_cast<int>(name.size());
        const int needed = win::WideCharToMultiByte(win::CP_ACP, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
        if (needed > 0) {
            text.resize(static_cast<size_t>(needed));
            win::WideCharToMultiByte(win::CP_ACP, 0, name.data(), size, text.data(), needed, nullptr, nullptr);
        }
    }
    std::fwrite(text.data(), 1, text.size(), file.get());
}
