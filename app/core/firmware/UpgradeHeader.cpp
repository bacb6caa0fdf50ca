#include "app/core/firmware/UpgradeHeader.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <string>

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

enum HeaderKey { kCrcSumKey, kSkipKey, kBSizeKey, kKSizeKey, kRSizeKey, kNoKey };

struct KeyField {
    std::string_view text;
    std::uint64_t nMax;
};

// Each value goes into its field whole: a 32-bit checksum, a line count the
// reader will go through, sizes that are signed 32-bit offsets.
constexpr KeyField kKeys[] = {
    {"CRCSUM=", std::numeric_limits<std::uint32_t>::max()},
    {"SKIP=", kMaxHeaderSkip},
    {"BSIZE=", std::numeric_limits<std::int32_t>::max()},
    {"KSIZE=", std::numeric_limits<std::int32_t>::max()},
    {"RSIZE=", std::numeric_limits<std::int32_t>::max()},
};

// A value as it can be shown in a message: bytes that are not printable
// ASCII as \xNN, and no more than a screen's width of it.
std::string Shown(std::string_view text)
{
    constexpr size_t kMaxShown = 40;
    std::string shown;
    for (size_t i = 0; i < text.size() && i < kMaxShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    if (text.size() > kMaxShown)
        shown += "...";
    return shown;
}

// The key a line carries at its start; kNoKey when none is anywhere in it.
// A key elsewhere in the line is an error: the line would be read as that
// key's without being one.
HeaderKey KeyOf(std::string_view line, std::string& problem)
{
    for (int k = kCrcSumKey; k < kNoKey; ++k)
        if (line.substr(0, kKeys[k].text.size()) == kKeys[k].text)
            return static_cast<HeaderKey>(k);
    for (const KeyField& key : kKeys)
        if (line.find(key.text) != std::string_view::npos) {
            problem = std::string(key.text) + " is not at the start of the line";
            return kNoKey;
        }
    return kNoKey;
}

// Decimal digits only, within nMax: no sign, space or anything after them.
bool ReadNumber(std::string_view key, std::string_view text, std::uint64_t nMax, std::uint64_t& value,
                std::string& problem)
{
    if (text.empty()) {
        problem = std::string(key) + " has no number";
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            problem = std::string(key) + " must be followed by decimal digits only, not \"" + Shown(text) + "\"";
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > nMax) {
            problem = std::string(key) + Shown(text) + " is beyond its range (0 to " + std::to_string(nMax) + ")";
            return false;
        }
    }
    return true;
}

// Applies a whole line; the key it carried, or kNoKey with or without a
// problem.
HeaderKey ApplyLine(std::string_view line, UpgradeFileHeader& header, HeaderKeysSeen* pSeen, std::string& problem)
{
    const HeaderKey key = KeyOf(line, problem);
    if (key == kNoKey)
        return kNoKey;
    const KeyField& field = kKeys[key];
    if (pSeen && (*pSeen & (1u << key))) {
        problem = "a second " + std::string(field.text) + " line";
        return kNoKey;
    }
    std::uint64_t value = 0;
    if (!ReadNumber(field.text, line.substr(field.text.size()), field.nMax, value, problem))
        return kNoKey;
    switch (key) {
    case kCrcSumKey: header.nCrcSum = static_cast<std::uint32_t>(value); break;
    case kSkipKey: header.nSkip = static_cast<std::int32_t>(value); break;
    case kBSizeKey: header.nBSize = static_cast<std::int32_t>(value); break;
    case kKSizeKey: header.nKSize = static_cast<std::int32_t>(value); break;
    case kRSizeKey: header.nRSize = static_cast<std::int32_t>(value); break;
    case kNoKey: break;
    }
    if (pSeen)
        *pSeen |= 1u << key;
    return key;
}

bool CarriesAKey(std::string_view piece)
{
    for (const KeyField& key : kKeys)
        if (piece.find(key.text) != std::string_view::npos)
            return true;
    return false;
}

}  // namespace

std::string ParseHeaderLine(std::string_view line, UpgradeFileHeader& header, HeaderKeysSeen* pSeen)
{
    std::string problem;
    ApplyLine(line, header, pSeen, problem);
    return problem;
}

int ParseUpgradeHeaderFile(const char16_t* pImagePath, UpgradeFileHeader& header, std::string* pProblem)
{
    if (!FileExists(pImagePath))
        return kHeaderNoSuchFile;
    std::unique_ptr<std::FILE, FileCloser> file(win::_wfopen(pImagePath, u"rt"));
    if (!file)
        return kHeaderCannotOpen;

    UpgradeFileHeader parsed;
    HeaderKeysSeen seen = 0;
    std::int64_t lineIndex = -1;
    bool continuation = false;  // the piece before ended without a line feed
    std::string line;
    const auto refuse = [&](const std::string& problem) {
        if (pProblem)
            *pProblem = "line " + std::to_string(lineIndex + 1) + ": " + problem;
        header = parsed;
        return kHeaderLineRefused;
    };
    // SKIP is at most kMaxHeaderSkip, so at most that many pieces follow the
    // first, however long the file.
    while (!std::feof(file.get()) && !std::ferror(file.get()) && lineIndex < parsed.nSkip) {
        ++lineIndex;
        const size_t len = ReadTextLine(file.get(), line);
        if (len == 0)
            continue;
        parsed.nHeaderLength += static_cast<std::int64_t>(len);
        const bool whole = line.back() == '\n' && !continuation;
        continuation = line.back() != '\n';
        line.pop_back();
        if (lineIndex == 0)
            parsed.nFirstLineLength = static_cast<std::int64_t>(len);
        // The reader cuts a line at 1023 bytes and at the end of the file; a
        // number cut so would be read as another.
        if (!whole) {
            if (CarriesAKey(line))
                return refuse("a line with a key must end with a line feed within 1023 bytes");
            continue;
        }
        std::string problem;
        const HeaderKey key = ApplyLine(line, parsed, &seen, problem);
        if (!problem.empty())
            return refuse(problem);
        // The checksum covers everything after the first line, so only the
        // first line can hold it.
        if (lineIndex == 0 && key != kCrcSumKey)
            return refuse("the first line must be the CRCSUM= line");
        if (lineIndex != 0 && key == kCrcSumKey)
            return refuse("CRCSUM= belongs on the first line only");
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
