#include "app/core/log/DayLogFiles.h"

#include <cstdint>
#include <cstdio>

#include "app/core/support/DecimalText.h"
#include "platform/win_api.h"

namespace {

constexpr std::u16string_view kDayLogMark = u"_upgrade.txt";

std::u16string AsciiToWide(std::string_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::u16string DayLogFileName(const LocalDateTime& day)
{
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.year, day.month, day.day);
    return AsciiToWide(date) + std::u16string(kDayLogMark);
}

bool IsStaleDayLogName(std::u16string_view name, const LocalDateTime& today)
{
    if (name.find(kDayLogMark) == std::u16string_view::npos)
        return false;
    const size_t p1 = name.find(u'-');
    if (p1 == std::u16string_view::npos)
        return false;
    if (name.substr(0, p1) != AsciiToWide(std::to_string(today.year)))
        return true;
    const size_t p2 = name.find(u'-', p1 + 1);
    if (p2 == std::u16string_view::npos)
        return false;
    if (ParseDecimal64(name.substr(p1 + 1, p2 - p1 - 1)) != today.month)
        return true;
    const size_t p3 = name.find(u'_', p2 + 1);
    if (p3 == std::u16string_view::npos)
        return false;
    const std::int64_t day = ParseDecimal64(name.substr(p2 + 1, p3 - p2 - 1));
    // Saturated days stay ordered; the subtraction is done so it cannot wrap.
    return day <= today.day - 8;
}

bool IsPlainFileName(std::u16string_view name)
{
    return !name.empty() && name != u"." && name != u".." && name.find_first_of(u"\\/") == std::u16string_view::npos &&
           name.size() < win::MAX_PATH - 1;
}
