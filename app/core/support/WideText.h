// Conversions between the UTF-16 strings of the Windows API and the UTF-8
// text of log lines.
#pragma once

#include <string>
#include <string_view>

std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);
// Null reads as empty, so a missing path can still be logged.
std::string WideToUtf8(const char16_t* text);
