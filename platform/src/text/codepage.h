// Text conversions behind the A and W functions. Host file names are UTF-8;
// A strings are in the machine's ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace win::detail {

// ERROR_NO_UNICODE_TRANSLATION: text that does not convert, here also text
// whose code page has no converter on this system.
inline constexpr DWORD kErrorNoUnicodeTranslation = 1113;

enum class ConversionFailure {
    UnknownCodePage,
    NoConverter,  // a Windows code page whose iconv module is missing, and non-ASCII text
    InvalidText,  // only when asked to be strict
};

struct Encoded {
    std::string bytes;
    bool usedDefault = false;
};

// True for the code pages the functions take, with or without a converter.
bool supported(UINT codePage);
// Without strict, undecodable bytes become U+FFFD; none on failure.
std::optional<std::u16string> decode(std::string_view text, UINT codePage, bool strict,
                                     ConversionFailure* why = nullptr);
// Unmappable characters become defaultChar (UTF-8: lone surrogates U+FFFD).
std::optional<Encoded> encode(std::u16string_view text, UINT codePage, std::string_view defaultChar,
                              ConversionFailure* why = nullptr);

// The code page CP_ACP / CP_OEMCP stand for on this machine.
UINT resolveCodePage(UINT codePage);
std::u16string toWide(std::string_view text, UINT codePage);
std::string fromWide(std::u16string_view text, UINT codePage);
std::string wideToUtf8(std::u16string_view text);
std::u16string utf8ToWide(std::string_view text);
// An A string of the machine as UTF-8, for host paths and messages.
std::string ansiToUtf8(std::string_view text);
std::string utf8ToAnsi(std::string_view text);
// An A path as UTF-8 for the host; none, with the last error
// ERROR_NO_UNICODE_TRANSLATION, when it cannot be converted: a file API
// then fails saying so rather than looking for a wrong name.
std::optional<std::string> ansiPathToUtf8(LPCSTR path);
std::u16string wideOf(LPCWSTR text);  // up to the terminator; empty for null

}  // namespace win::detail
