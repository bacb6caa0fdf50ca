// The local date and time, behind a seam so tests can pin the day.
#pragma once

#include <functional>

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalDateTime GetLocalDateTime();
// Replaces the clock (tests); an empty function restores the system clock.
void SetLocalDateTimeSource(std::function<LocalDateTime()> source);
