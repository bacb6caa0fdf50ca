#include "numbers.h"

#include <cctype>
#include <climits>

#include "command_line.h"

namespace machine_tool {

namespace {

template <class Test>
bool allOf(const std::string& text, Test test)
{
    for (unsigned char c : text)
        if (!test(c))
            return false;
    return !text.empty();
}

int shiftFor(std::string unit)
{
    for (auto& c : unit)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit.empty() || unit == "B")
        return 0;
    if (unit.size() == 3 && unit.substr(1) == "IB")
        unit.resize(1);
    if (unit == "K")
        return 10;
    if (unit == "M")
        return 20;
    if (unit == "G")
        return 30;
    if (unit == "T")
        return 40;
    return -1;
}

}  // namespace

std::uint64_t parseDiskSize(const std::string& text)
{
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    const int shift = shiftFor(text.substr(digits));
    if (digits == 0 || digits > 19 || shift < 0)
        throw UsageError("bad size '" + text + "' (bytes, or a number with K, M, G or T)");
    const std::uint64_t count = std::stoull(text.substr(0, digits));
    if (count > (UINT64_MAX >> shift))
        throw UsageError("size '" + text + "' is too large");
    const std::uint64_t bytes = count << shift;
    if (bytes == 0 || bytes % 512 != 0)
        throw UsageError("size '" + text + "' is not a non-zero multiple of 512 bytes");
    return bytes;
}

std::uint16_t parseUsbId(const std::string& option, const std::string& text)
{
    std::string hex = text;
    if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X'))
        hex = hex.substr(2);
    if (hex.size() > 4 || !allOf(hex, [](unsigned char c) { return std::isxdigit(c) != 0; }))
        throw UsageError(option + " takes up to four hex digits, not '" + text + "'");
    return static_cast<std::uint16_t>(std::stoul(hex, nullptr, 16));
}

int parseSlot(const std::string& text)
{
    if (text.size() > 9 || !allOf(text, [](unsigned char c) { return std::isdigit(c) != 0; }))
        throw UsageError("bad disk number '" + text + "'");
    return std::stoi(text);
}

}  // namespace machine_tool
