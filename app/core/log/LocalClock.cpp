#include "app/core/log/LocalClock.h"

#include <chrono>
#include <ctime>
#include <mutex>

namespace {

std::mutex& ClockMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<LocalDateTime()>& ClockSource()
{
    static std::function<LocalDateTime()> source;
    return source;
}

LocalDateTime SystemLocalDateTime()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    LocalDateTime t;
    // std::localtime shares one result between callers; the mutex is held.
    if (const std::tm* tm = std::localtime(&seconds)) {
        t.year = tm->tm_year + 1900;
        t.month = tm->tm_mon + 1;
        t.day = tm->tm_mday;
        t.hour = tm->tm_hour;
        t.minute = tm->tm_min;
        t.second = tm->tm_sec;
    }
    t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    return t;
}

}  // namespace

LocalDateTime GetLocalDateTime()
{
    std::lock_guard lock(ClockMutex());
    return ClockSource() ? ClockSource()() : SystemLocalDateTime();
}

void SetLocalDateTimeSource(std::function<LocalDateTime()> source)
{
    std::lock_guard lock(ClockMutex());
    ClockSource() = std::move(source);
}
