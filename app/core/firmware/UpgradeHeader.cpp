#include "app/core/firmware/UpgradeHeader.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "app/core/support/DecimalText.h"
#include "app/core/support/FileExists.h"
#include "platform/win_api.h"

namespace {

constexpr size_t kMaxLineChars = 1023;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// One line as a text-mode stream gives it: at most kMaxLineChars characters,
// ending after a line feed, with each CR LF pair read as one line feed.
size_t ReadTextLine(std::FILE* file, std::string& line)
{
    line.clear();
    while (line.size() < kMaxLineChars) {
        int c = std::fgetc(file);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int next = std::fgetc(file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file);
        }
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return line.size();
}

std::uint32_t LowWord(std::int64_t value) { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)); }

}  // namespace

void ParseHeaderLine(std::string_view line, UpgradeFileHeader& header)
{
    // The line is a C string to the parser: it ends at a NUL byte.
    line = line.substr(0, line.find('\0'));
    struct Key {
        std::string_view text;
        void (*apply)(UpgradeFileHeader&, std::string_view);
    };
    static constexpr Key kKeys[] = {
        {"CRCSUM=", [](UpgradeFileHeader& h, std::string_view v) { h.nCrcSum = LowWord(ParseDecimal64(v)); }},
        {"SKIP=", [](UpgradeFileHeader& h, std::string_view v) { h.nSkip = ParseDecimal32Saturating(v); }},
        {"BSIZE=",
         [](UpgradeFileHeader& h, std::string_view v) { h.nBSize = static_cast<std::int32_t>(LowWord(ParseDecimal64(v))); }},
        {"KSIZE=",
         [](UpgradeFileHeader& h, std::string_view v) { h.nKSize = static_cast<std::int32_t>(LowWord(ParseDecimal64(v))); }},
        {"RSIZE=",
         [](UpgradeFileHeader& h, std::string_view v) { h.nRSize = static_cast<std::int32_t>(LowWord(ParseDecimal64(v))); }},
    };
    for (const Key& key : kKeys) {
        if (line.find(key.text) == std::string_view::npos)
            continue;
        // The value is read from where it follows a key at the line's start.
        key.apply(header, line.size() > key.text.size() ? line.substr(key.text.size()) : std::string_view());
        return;
    }
}

int ParseUpgradeHeaderFile(const char16_t* pImagePath, UpgradeFileHeader& header)
{
    if (!FileExists(pImagePath))
        return kHeaderNoSuchFile;
    std::unique_ptr<std::FILE, FileCloser> file(win::_wfopen(pImagePath, u"rt"));
    if (!file)
        return kHeaderCannotOpen;

    UpgradeFileHeader parsed;
    std::int64_t lineIndex = -1;
    std::string line;
    while (!std::feof(file.get()) && !std::ferror(file.get()) && lineIndex < parsed.nSkip) {
        ++lineIndex;
        const size_t len = ReadTextLine(file.get(), line);
        if (len == 0)
            continue;
        parsed.nHeaderLength += static_cast<std::int64_t>(len);
        line.pop_back();
        if (lineIndex == 0)
            parsed.nFirstLineLength = static_cast<std::int64_t>(len);
        ParseHeaderLine(line, parsed);
    }
    header = parsed;
    return kHeaderParsed;
}

UpgradeFileSpan KernelImageSpan(const UpgradeFileHeader& h)
{
    return {h.nHeaderLength + h.nBSize, h.nKSize};
}

UpgradeFileSpan RootfsImageSpan(const UpgradeFileHeader& h)
{
    return {h.nHeaderLength + h.nBSize + h.nKSize, h.nRSize};
}

UpgradeFileSpan ChecksumSpan(const UpgradeFileHeader& h)
{
    return {h.nFirstLineLength,
            h.nHeaderLength + h.nBSize + h.nKSize + h.nRSize - h.nFirstLineLength};
}

bool IsReadableSpan(const UpgradeFileSpan& span)
{
    constexpr std::int64_t kLimit = std::numeric_limits<std::uint32_t>::max();
    return span.nOffset >= 0 && span.nLength >= 0 && span.nOffset <= kLimit && span.nLength <= kLimit - span.nOffset;
}

bool HasUsableSizes(const UpgradeFileHeader& h)
{
    return h.nBSize >= 0 && h.nKSize > 0 && h.nRSize > 0 && h.nFirstLineLength <= h.nHeaderLength &&
           IsReadableSpan(KernelImageSpan(h)) && IsReadableSpan(RootfsImageSpan(h)) &&
           IsReadableSpan(ChecksumSpan(h));
}
