// Text conversions behind the A and W functions. Host file names are UTF-8;
// A strings are in the machine's ANSI code page.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace win::detail {

// The code page CP_ACP / CP_OEMCP stand for on this machine.
UINT resolveCodePage(UINT codePage);
std::u16string toWide(std::string_view text, UINT codePage);
std::string fromWide(std::u16string_view text, UINT codePage);
std::string wideToUtf8(std::u16string_view text);
std::u16string utf8ToWide(std::string_view text);
// An A string of the machine as UTF-8, for host paths and messages.
std::string ansiToUtf8(std::string_view text);
std::string utf8ToAnsi(std::string_view text);
std::u16string wideOf(LPCWSTR text);  // up to the terminator; empty for null

}  // namespace win::detail
