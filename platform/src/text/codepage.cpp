// Code page conversions with the Windows replacement rules: undecodable
// bytes become U+FFFD, unmappable characters the default character.
// UTF-8 and Windows 1252 (the default ANSI code page) are converted here;
// the others go through glibc's iconv, whose converters are modules that
// a minimal system may lack. Without them ASCII text still converts (every
// Windows ANSI and OEM code page holds it), and other text fails with
// ERROR_NO_UNICODE_TRANSLATION instead of becoming a wrong name.
#include "text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
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
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// Bytes 0x80 to 0x9F of Windows 1252; its five unassigned bytes map
// straight to the C1 controls, as on Windows. The rest is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The ANSI and OEM code pages of Windows: all hold ASCII as it is.
bool windowsCodePage(UINT cp)
{
    switch (cp) {
    case 437: case 720: case 737: case 775: case 850: case 852: case 855: case 857: case 858:
    case 860: case 861: case 862: case 863: case 864: case 865: case 866: case 869: case 874:
    case 932: case 936: case 949: case 950:
        return true;
    default:
        return cp >= 1250 && cp <= 1258;
    }
}

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }

// The length of the well-formed UTF-8 sequence at text[i], 0 for none.
size_t utf8Sequence(std::string_view text, size_t i, char32_t& code)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - i < length || byte(1) < low || byte(1) > high)
        return 0;
    code = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        if (k > 1 && (byte(k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    return length;
}

// Each byte that starts no well-formed sequence becomes one U+FFFD, as
// glibc's converter had it.
std::optional<std::u16string> decodeUtf8(std::string_view text, bool strict)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const size_t length = utf8Sequence(text, i, code);
        if (length == 0) {
            if (strict)
                return std::nullopt;
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

// A lone surrogate becomes U+FFFD.
std::string encodeUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::u16string decode1252(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out[i] = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t{byte};
    }
    return out;
}

std::optional<char> byteOf1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    const auto at = std::find(kCp1252High.begin(), kCp1252High.end(), c);
    if (at == kCp1252High.end())
        return std::nullopt;
    return static_cast<char>(0x80 + (at - kCp1252High.begin()));
}

bool allAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool allAscii(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

std::string iconvName(UINT codePage) { return "CP" + std::to_string(codePage); }

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

bool ownConverter(UINT codePage) { return codePage == CP_UTF8 || codePage == 1252; }

}  // namespace

bool supported(UINT codePage)
{
    return ownConverter(codePage) || windowsCodePage(codePage) || Converter(kUtf16, iconvName(codePage)).ok();
}

std::optional<std::u16string> decode(std::string_view text, UINT codePage, bool strict, ConversionFailure* why)
{
    const auto fail = [why](ConversionFailure f) -> std::optional<std::u16string> {
        if (why)
            *why = f;
        return std::nullopt;
    };
    if (codePage == CP_UTF8) {
        auto out = decodeUtf8(text, strict);
        return out ? out : fail(ConversionFailure::InvalidText);
    }
    if (codePage == 1252)
        return decode1252(text);
    Converter cv(kUtf16, iconvName(codePage));
    if (!cv.ok()) {
        if (!windowsCodePage(codePage))
            return fail(ConversionFailure::UnknownCodePage);
        if (!allAscii(text))
            return fail(ConversionFailure::NoConverter);
        return std::u16string(text.begin(), text.end());
    }
    std::string bytes;
    const char* in = text.data();
    size_t left = text.size();
    auto emit = [&](char16_t c) { bytes.append(reinterpret_cast<const char*>(&c), sizeof c); };
    while (!cv.step(in, left, bytes)) {
        if (strict)
            return fail(ConversionFailure::InvalidText);
        emit(u'\uFFFD');
        ++in;
        --left;
    }
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::optional<Encoded> encode(std::u16string_view text, UINT codePage, std::string_view defaultChar,
                              ConversionFailure* why)
{
    Encoded result;
    if (codePage == CP_UTF8) {
        result.bytes = encodeUtf8(text);
        return result;
    }
    if (codePage == 1252) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (const auto byte = byteOf1252(text[i])) {
                result.bytes += *byte;
                continue;
            }
            // A pair stands for one character, and gets one default.
            if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]))
                ++i;
            result.bytes.append(defaultChar);
            result.usedDefault = true;
        }
        return result;
    }
    Converter cv(iconvName(codePage), kUtf16);
    if (!cv.ok()) {
        if (!windowsCodePage(codePage) || !allAscii(text)) {
            if (why)
                *why = windowsCodePage(codePage) ? ConversionFailure::NoConverter : ConversionFailure::UnknownCodePage;
            return std::nullopt;
        }
        result.bytes.assign(text.begin(), text.end());
        return result;
    }
    const char* in = reinterpret_cast<const char*>(text.data());
    size_t left = text.size() * 2;
    while (!cv.step(in, left, result.bytes)) {
        char16_t unit;
        std::memcpy(&unit, in, 2);
        size_t skip = 2;
        char16_t next = 0;
        if (left >= 4)
            std::memcpy(&next, in + 2, 2);
        if (isHighSurrogate(unit) && isLowSurrogate(next))
            skip = 4;
        result.bytes.append(defaultChar);
        result.usedDefault = true;
        in += skip;
        left -= std::min(left, skip);
    }
    return result;
}

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

std::optional<std::string> ansiPathToUtf8(LPCSTR path)
{
    if (!path)
        return std::string();
    const auto wide = decode(path, resolveCodePage(CP_ACP), false);
    if (!wide) {
        SetLastError(kErrorNoUnicodeTranslation);
        return std::nullopt;
    }
    return wideToUtf8(*wide);
}
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
        // Invalid text, or no converter on this system for its non-ASCII bytes.
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
    detail::ConversionFailure why = detail::ConversionFailure::UnknownCodePage;
    const auto encoded = detail::encode(input, cp, fallback, &why);
    if (!encoded) {
        SetLastError(why == detail::ConversionFailure::NoConverter ? detail::kErrorNoUnicodeTranslation
                                                                   : ERROR_INVALID_PARAMETER);
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
