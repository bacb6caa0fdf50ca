// A reader of INI files with the private-profile rules the language files
// rely on: UTF-16LE when the file starts with FF FE (else the ANSI code page),
// section and key names without regard to ASCII case, values trimmed and
// stripped of one enclosing pair of quotes, truncated to the buffer size.
#pragma once

#include <string>
#include <string_view>

std::u16string ReadPrivateProfileText(std::u16string_view path, std::u16string_view section,
                                      std::u16string_view key, std::u16string_view defaultText,
                                      size_t bufferChars);
