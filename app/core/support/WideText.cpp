#include "app/core/support/WideText.h"

#include <climits>

#include "platform/win_api.h"

std::string WideToUtf8(std::u16string_view text)
{
    if (text.empty() || text.size() > INT_MAX / 4)
        return {};
    const int size = static_cast<int>(text.size());
    const int needed = win::WideCharToMultiByte(win::CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string out(static_cast<size_t>(needed), '\0');
    win::WideCharToMultiByte(win::CP_UTF8, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

std::string WideToUtf8(const char16_t* text)
{
    return text ? WideToUtf8(std::u16string_view(text)) : std::string();
}

std::u16string Utf8ToWide(std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int needed = win::MultiByteToWideChar(win::CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (needed <= 0)
        return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    win::MultiByteToWideChar(win::CP_UTF8, 0, text.data(), size, out.data(), needed);
    return out;
}
