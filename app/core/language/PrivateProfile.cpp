#include "app/core/language/PrivateProfile.h"

#include <vector>

#include "app/core/support/ScopedHandle.h"
#include "platform/win_api.h"

namespace {

std::u16string ReadProfileFile(std::u16string_view path, bool* found)
{
    const std::u16string wpath(path);
    *found = false;
    ScopedHandle file(win::CreateFileW(wpath.c_str(), win::GENERIC_READ,
                                      win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING,
                                      0, nullptr));
    if (!file.IsValid())
        return {};
    *found = true;
    std::string bytes;
    char chunk[4096];
    win::DWORD read = 0;
    while (win::ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int needed = win::MultiByteToWideChar(win::CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (needed <= 0)
        return {};
    std::u16string text(static_cast<size_t>(needed), u'\0');
    win::MultiByteToWideChar(win::CP_ACP, 0, bytes.data(), size, text.data(), needed);
    return text;
}

std::u16string_view Trim(std::u16string_view text)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::u16string Fit(std::u16string_view text, size_t bufferChars)
{
    if (bufferChars == 0)
        return {};
    return std::u16string(text.substr(0, bufferChars - 1));
}

}  // namespace

std::u16string ReadPrivateProfileText(std::u16string_view path, std::u16string_view section,
                                      std::u16string_view key, std::u16string_view defaultText,
                                      size_t bufferChars)
{
    bool found = false;
    const std::u16string text = ReadProfileFile(path, &found);
    bool inSection = false;
    size_t pos = 0;
    while (found && pos < text.size()) {
        size_t end = text.find(u'\n', pos);
        if (end == std::u16string::npos)
            end = text.size();
        const std::u16string_view line = Trim(std::u16string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line.front() == u'[') {
            const size_t close = line.find(u']');
            inSection = close != std::u16string_view::npos && EqualsNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const size_t equals = line.find(u'=');
        if (!inSection || equals == std::u16string_view::npos || !EqualsNoCase(Trim(line.substr(0, equals)), key))
            continue;
        std::u16string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return Fit(value, bufferChars);
    }
    return Fit(defaultText, bufferChars);
}
