#include "text/text_util.h"

#include <algorithm>
#include <cctype>

namespace machine {

namespace {
char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
}  // namespace

std::string trimRight(std::string_view text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return std::string(text.substr(0, end));
}

std::string toUpper(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

bool containsNoCase(std::string_view text, std::string_view part)
{
    return toUpper(text).find(toUpper(part)) != std::string::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::vector<std::string> splitNames(std::string_view separators, std::string_view path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (separators.find(c) != std::string_view::npos) {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return parts;
}

}  // namespace machine
