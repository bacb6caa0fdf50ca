// The code pages converted without iconv (UTF-8 and 1252) give what glibc's
// converters gave, byte for byte, so a system without its gconv modules
// converts them the same; a Windows code page glibc has no converter for
// (720) converts ASCII and refuses the rest with ERROR_NO_UNICODE_TRANSLATION,
// and the A file functions say so instead of "file not found".
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "platform/win_api.h"
#include "platform/win_crt.h"
#include "support/temp_machine.h"
#include "text/codepage.h"

using namespace win;

namespace {

constexpr DWORD kNoUnicodeTranslation = 1113;
constexpr DWORD kMbErrInvalidChars = 0x8;

class CodePages : public testing_support::TempMachine {};

// glibc's conversion, each unconvertible input unit replaced as the old
// iconv-based conversion did: a byte by U+FFFD, a UTF-16 character by
// replacement (a pair counts as one character).
std::string throughIconv(const char* to, const char* from, std::string_view in, std::size_t unit,
                         const std::string& replacement)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "no converter";
    std::string out;
    const char* p = in.data();
    std::size_t left = in.size();
    while (left > 0) {
        char buffer[64];
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t rc = ::iconv(cd, const_cast<char**>(&p), &left, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        std::size_t skip = unit;
        if (unit == 2 && left >= 4) {
            char16_t a, b;
            std::memcpy(&a, p, 2);
            std::memcpy(&b, p + 2, 2);
            if (a >= 0xD800 && a < 0xDC00 && b >= 0xDC00 && b < 0xE000)
                skip = 4;
        }
        out += replacement;
        p += std::min(skip, left);
        left -= std::min(skip, left);
    }
    ::iconv_close(cd);
    return out;
}

std::string bytesOf(std::u16string_view text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::u16string toWide(UINT cp, std::string_view bytes)
{
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(std::max(n, 0)), u'\0');
    if (n > 0)
        MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string fromWide(UINT cp, std::u16string_view text, BOOL* usedDefault = nullptr)
{
    const int n =
        WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, usedDefault);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, usedDefault);
    return out;
}

TEST_F(CodePages, Utf8DecodesAsGlibcDid)
{
    const std::string fffd = bytesOf(u"\uFFFD");
    std::vector<std::string> inputs = {
        "plain", "caf\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF",
        "\xC0\xAF",                  // overlong slash
        "\xE0\x80\xAF", "\xF0\x80\x80\xAF",  // overlong
        "\xED\xA0\x80", "\xED\xBF\xBF",      // surrogates
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF\xFE",  // beyond U+10FFFF
        "\xE2\x82", "a\xE2\x82", "\xE2\x82" "A", "\x80\x80x", "\xC2", "\xF0\x9F\x98",  // cut short or stray
        std::string("a\0b", 3),
    };
    // And a few thousand strings of lead, continuation and ASCII bytes.
    std::mt19937 engine(7);
    const std::string alphabet = "a\x80\x8F\x90\x9F\xA0\xBF\xC2\xDF\xE0\xE1\xED\xEF\xF0\xF3\xF4\xF5\xC0\xFF";
    for (int i = 0; i < 3000; ++i) {
        std::string s(engine() % 9 + 1, ' ');
        for (auto& c : s)
            c = alphabet[engine() % alphabet.size()];
        inputs.push_back(s);
    }
    for (const auto& in : inputs)
        ASSERT_EQ(bytesOf(toWide(CP_UTF8, in)), throughIconv("UTF-16LE", "UTF-8", in, 1, fffd))
            << testing::PrintToString(in);

    WCHAR out[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, kMbErrInvalidChars, "a\xE2\x82", 3, out, 4), 0);
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, kMbErrInvalidChars, "\xE2\x82\xAC", 3, out, 4), 1);
    EXPECT_EQ(out[0], u'€');
}

TEST_F(CodePages, Utf8EncodesAsGlibcDid)
{
    const std::string fffd = "\xEF\xBF\xBD";
    std::u16string every;
    for (char32_t c = 1; c < 0x10000; ++c)
        every += static_cast<char16_t>(c);
    for (std::u16string_view text : {std::u16string_view(every), std::u16string_view(u"\U0001F600 and \U0010FFFF"),
                                     std::u16string_view(u"\xD83D" "a\xDE00\xD83D")})
        EXPECT_EQ(fromWide(CP_UTF8, text), throughIconv("UTF-8", "UTF-16LE", bytesOf(text), 2, fffd));
}

TEST_F(CodePages, Windows1252BothWaysAsGlibcDid)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    // glibc refuses the five unassigned bytes; Windows maps them to C1 controls.
    const std::string fffd = bytesOf(u"\uFFFD");
    std::string expected = throughIconv("UTF-16LE", "CP1252", all, 1, fffd);
    for (char16_t hole : {u'\x81', u'\x8D', u'\x8F', u'\x90', u'\x9D'})
        expected.replace(expected.find(fffd), 2, bytesOf(std::u16string(1, hole)));
    EXPECT_EQ(bytesOf(toWide(1252, all)), expected);

    std::u16string every;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D)
            every += static_cast<char16_t>(c);
    every += u"\U0001F600\xD800x";
    BOOL usedDefault = FALSE;
    EXPECT_EQ(fromWide(1252, every, &usedDefault), throughIconv("CP1252", "UTF-16LE", bytesOf(every), 2, "?"));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(fromWide(1252, u"\x81\x8D\x8F\x90\x9D", &usedDefault), "\x81\x8D\x8F\x90\x9D");
    EXPECT_FALSE(usedDefault);
}

// glibc has no converter for 720, a Windows OEM code page, as a system
// without its gconv modules has none for any.
TEST_F(CodePages, WithoutAConverterAsciiConvertsAndTheRestIsRefused)
{
    ASSERT_EQ(::iconv_open("UTF-16LE", "CP720"), reinterpret_cast<iconv_t>(-1)) << "glibc converts 720 now";
    EXPECT_EQ(toWide(720, "C:\\Windows\\a.txt"), u"C:\\Windows\\a.txt");
    EXPECT_EQ(fromWide(720, u"C:\\Windows\\a.txt"), "C:\\Windows\\a.txt");
    WCHAR wide[8];
    char narrow[8];
    EXPECT_EQ(MultiByteToWideChar(720, 0, "a\xE9", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
    EXPECT_EQ(WideCharToMultiByte(720, 0, u"a\u00E9", -1, narrow, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, "abc", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "a code page Windows does not have";

    // A machine whose ANSI code page is 720: an A path of ASCII opens, one
    // with other bytes fails saying it does not convert, not that it is missing.
    machine_->update([](machine::State& s) { s.settings.acp = 720; });
    std::ofstream(m().driveC() / "plain.txt") << "x";
    EXPECT_NE(GetFileAttributesA("C:\\plain.txt"), INVALID_FILE_ATTRIBUTES);
    HANDLE h = CreateFileA("C:\\plain.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(CreateFileA("C:\\caf\xE9.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
    EXPECT_EQ(GetFileAttributesA("C:\\caf\xE9.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
    EXPECT_EQ(win::fopen("C:\\caf\xE9.txt", "w"), nullptr);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_FALSE(std::filesystem::exists(m().driveC() / "caf\xE9.txt"));
    EXPECT_FALSE(CreateDirectoryA("C:\\dossier\xE9", nullptr));
    EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
}

}  // namespace
