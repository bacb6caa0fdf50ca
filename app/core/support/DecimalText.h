// Decimal text as the C runtime's atoi family reads it: optional white space
// and sign, then digits up to the first other character. Values beyond the
// 64-bit range saturate instead of wrapping.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

template <typename Char>
std::int64_t ParseDecimal64(std::basic_string_view<Char> text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Accumulate as a negative number so INT64_MIN itself fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = static_cast<int>(text[i] - '0');
        if (value < (kMin + digit) / 10)
            overflow = true;
        else
            value = value * 10 - digit;
    }
    if (overflow)
        return negative ? kMin : std::numeric_limits<std::int64_t>::max();
    if (!negative)
        return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
    return value;
}

template <typename Char>
std::int32_t ParseDecimal32Saturating(std::basic_string_view<Char> text)
{
    const std::int64_t v = ParseDecimal64(text);
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}
