// The system's language and the code page conversions the language layer and
// the format worker share.
#include <cstring>

#include "app/core/language/PublicFunction.h"
#include "platform/win_api.h"

int CPublicFunction::DetectSystemLanguage() const
{
    switch (win::GetSystemDefaultLangID()) {
    case 0x0404:
        return 2;
    case 0x0804:
    case 0x0C04:
    case 0x1004:
    case 0x1404:
        return 1;
    default:
        return 0;
    }
}

std::u16string CPublicFunction::AnsiToWide(const char* text) const
{
    if (!text || !*text)
        return {};
    const int size = static_cast<int>(std::strlen(text));
    const int needed = win::MultiByteToWideChar(win::CP_ACP, 0, text, size, nullptr, 0);
    if (needed <= 0)
        return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    win::MultiByteToWideChar(win::CP_ACP, 0, text, size, out.data(), needed);
    return out;
}

std::unique_ptr<char[]> CPublicFunction::WideToOem(std::u16string_view text) const
{
    const int size = static_cast<int>(text.size());
    const int needed =
        size == 0 ? 0 : win::WideCharToMultiByte(win::CP_OEMCP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    auto out = std::make_unique<char[]>(static_cast<size_t>(needed > 0 ? needed : 0) + 1);
    if (needed > 0)
        win::WideCharToMultiByte(win::CP_OEMCP, 0, text.data(), size, out.get(), needed, nullptr, nullptr);
    return out;
}
