// Code page conversions over glibc's iconv, with the Windows replacement
// rules: undecodable bytes become U+FFFD, unmappable characters the default
// character.
#include "text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "machine/current_settings.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

constexpr DWORD kMbErrInvalidChars = 0x8;
constexpr DWORD kErrorNoUnicodeTranslation = 1113;
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// Windows 1252 maps its five unassigned bytes straight to C1 controls; glibc
// refuses them, so they are passed through by hand.
bool isCp1252Hole(unsigned v) { return v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90 || v == 0x9D; }

std::string iconvName(UINT codePage)
{
    if (codePage == CP_UTF8)
        return "UTF-8";
    return "CP" + std::to_string(codePage);
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : cd_(::iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (ok())
            ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false at an unconvertible input,
    // leaving in/inLeft at it. Output is appended.
    bool step(const char*& in, size_t& inLeft, std::string& out)
    {
        char buffer[256];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = ::iconv(cd_, const_cast<char**>(&in), &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

bool supported(UINT codePage) { return Converter(kUtf16, iconvName(codePage)).ok(); }

std::optional<std::u16string> decode(std::string_view text, UINT codePage, bool strict)
{
    Converter cv(kUtf16, iconvName(codePage));
    if (!cv.ok())
        return std::nullopt;
    std::string bytes;
    const char* in = text.data();
    size_t left = text.size();
    auto emit = [&](char16_t c) { bytes.append(reinterpret_cast<const char*>(&c), sizeof c); };
    while (!cv.step(in, left, bytes)) {
        const auto byte = static_cast<unsigned char>(*in);
        if (codePage == 1252 && isCp1252Hole(byte)) {
            emit(byte);
        } else {
            if (strict)
                return std::nullopt;
            emit(u'\uFFFD');
        }
        ++in;
        --left;
    }
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

struct Encoded {
    std::string bytes;
    bool usedDefault = false;
};

std::optional<Encoded> encode(std::u16string_view text, UINT codePage, std::string_view defaultChar)
{
    Converter cv(iconvName(codePage), kUtf16);
    if (!cv.ok())
        return std::nullopt;
    Encoded result;
    const char* in = reinterpret_cast<const char*>(text.data());
    size_t left = text.size() * 2;
    while (!cv.step(in, left, result.bytes)) {
        char16_t unit;
        std::memcpy(&unit, in, 2);
        size_t skip = 2;
        char16_t next = 0;
        if (left >= 4)
            std::memcpy(&next, in + 2, 2);
        if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000)
            skip = 4;
        if (codePage == 1252 && isCp1252Hole(unit)) {
            result.bytes += static_cast<char>(unit);
        } else if (codePage == CP_UTF8) {
            result.bytes += "\xEF\xBF\xBD";  // a lone surrogate
        } else {
            result.bytes.append(defaultChar);
            result.usedDefault = true;
        }
        in += skip;
        left -= std::min(left, skip);
    }
    return result;
}

}  // namespace

UINT resolveCodePage(UINT codePage)
{
    if (codePage != CP_ACP && codePage != CP_OEMCP && codePage != 3 /* CP_THREAD_ACP */)
        return codePage;
    const auto settings = currentSettings();
    const UINT configured = codePage == CP_OEMCP ? settings.oemcp : settings.acp;
    if (configured != 0)
        return configured;
    switch (settings.langId) {
    case LANG_ID_CHINESE_SIMPLIFIED:
        return 936;
    case LANG_ID_CHINESE_TRADITIONAL:
    case LANG_ID_CHINESE_HONGKONG:
        return 950;
    default:
        return codePage == CP_OEMCP ? 437 : 1252;
    }
}

std::u16string toWide(std::string_view text, UINT codePage)
{
    if (auto out = decode(text, resolveCodePage(codePage), false))
        return *out;
    return decode(text, 1252, false).value_or(std::u16string{});
}

std::string fromWide(std::u16string_view text, UINT codePage)
{
    if (auto out = encode(text, resolveCodePage(codePage), "?"))
        return out->bytes;
    return encode(text, 1252, "?").value_or(Encoded{}).bytes;
}

std::string wideToUtf8(std::u16string_view text) { return fromWide(text, CP_UTF8); }
std::u16string utf8ToWide(std::string_view text) { return toWide(text, CP_UTF8); }
std::string ansiToUtf8(std::string_view text) { return wideToUtf8(toWide(text, CP_ACP)); }
std::string utf8ToAnsi(std::string_view text) { return fromWide(utf8ToWide(text), CP_ACP); }

std::u16string wideOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string{}; }

}  // namespace win::detail

namespace win {

UINT GetACP() { return detail::resolveCodePage(CP_ACP); }
UINT GetOEMCP() { return detail::resolveCodePage(CP_OEMCP); }
LANGID GetSystemDefaultLangID() { return detail::currentSettings().langId; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR out, int outSize)
{
    if (!text || size == 0 || size < -1 || outSize < 0 || (outSize > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT cp = detail::resolveCodePage(codePage);
    if (!detail::supported(cp)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view input(text, size == -1 ? std::strlen(text) + 1 : static_cast<size_t>(size));
    const auto wide = detail::decode(input, cp, flags & detail::kMbErrInvalidChars);
    if (!wide) {
        SetLastError(detail::kErrorNoUnicodeTranslation);
        return 0;
    }
    const int needed = static_cast<int>(wide->size());
    if (outSize == 0)
        return needed;
    if (needed > outSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, wide->data(), wide->size() * sizeof(WCHAR));
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int size, LPSTR out, int outSize,
                        LPCSTR defaultChar, BOOL* usedDefault)
{
    const UINT cp = detail::resolveCodePage(codePage);
    if (!text || size == 0 || size < -1 || outSize < 0 || (outSize > 0 && !out) ||
        (cp == CP_UTF8 && (defaultChar || usedDefault))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view input(text, size == -1 ? std::char_traits<char16_t>::length(text) + 1
                                                     : static_cast<size_t>(size));
    // The default character is one character of the code page: a lead and a
    // trail byte at most in the double-byte ones.
    std::string_view fallback = "?";
    if (defaultChar && *defaultChar) {
        const size_t width = cp == 936 || cp == 950 ? 2 : 1;
        fallback = std::string_view(defaultChar, std::min(width, std::strlen(defaultChar)));
    }
    const auto encoded = detail::encode(input, cp, fallback);
    if (!encoded) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefault)
        *usedDefault = encoded->usedDefault ? TRUE : FALSE;
    const int needed = static_cast<int>(encoded->bytes.size());
    if (outSize == 0)
        return needed;
    if (needed > outSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, encoded->bytes.data(), encoded->bytes.size());
    return needed;
}

}  // namespace win
