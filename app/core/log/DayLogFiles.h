// Names of the application's day log files and the rule that prunes them.
#pragma once

#include <string>
#include <string_view>

#include "app/core/log/LocalClock.h"

// "YYYY-MM-DD_upgrade.txt" for the day of the given time.
std::u16string DayLogFileName(const LocalDateTime& day);
// True for a day file of another year or month, or of this month but eight
// or more days before today. Names without the "_upgrade.txt" mark, or
// without the separators the rule needs, are never pruned.
bool IsStaleDayLogName(std::u16string_view name, const LocalDateTime& today);
// True for a name a folder listing may hand to a delete: no separator of
// either kind (a file name may hold a backslash on this system, which the
// path would read as one), not "." or "..", and shorter than a listing's
// name field, which cuts longer names to another file's.
bool IsPlainFileName(std::u16string_view name);
