// The library log, kxlog.txt. Every line is one open-append-close so it
// reaches the disk at once and lines from several threads or processes do
// not mix; no lock is taken.
#include "common/kx_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kx/kx.h"
#include "common/kx_message.h"
#include "platform/win_api.h"

namespace {

constexpr std::size_t kPathSize = 4096;
constexpr std::size_t kLineSize = 4096;  // 4095 characters and the terminator
constexpr char kFileName[] = ".\\kxlog.txt";

char logPath[kPathSize];  // empty while logging is off

std::FILE* openLog()
{
    if (logPath[0] == '\0')
        return nullptr;
    return win::fopen(logPath, "a");
}

// A line that does not fit is dropped whole rather than cut.
__attribute__((format(printf, 1, 0))) int appendLine(const char* format, std::va_list args)
{
    std::FILE* file = openLog();
    if (!file)
        return 0;
    char line[kLineSize];
    const int length = std::vsnprintf(line, sizeof line, format, args);
    int written = 0;
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof line)
        written = std::fputs(line, file) >= 0 ? 1 : 0;
    std::fclose(file);
    return written;
}

__attribute__((format(printf, 1, 2))) int appendLineOf(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const int written = appendLine(format, args);
    va_end(args);
    return written;
}

}  // namespace

namespace kx {

void resetLogForTests()
{
    std::memset(logPath, 0, sizeof logPath);
}

}  // namespace kx

extern "C" {

int kx_log_init(const char* directory)
{
    if (!directory || directory[0] == '\0') {
        KX_REPORT(kx::source::kxPart, "path != NULL");
        return 0;
    }
    const std::size_t length = std::strlen(directory);
    const bool needsSeparator = directory[length - 1] != '\\';
    if (length + (needsSeparator ? 1 : 0) + std::strlen(kFileName) >= kPathSize)
        return 0;

    std::memset(logPath, 0, sizeof logPath);
    std::memcpy(logPath, directory, length);
    if (needsSeparator)
        std::strcat(logPath, "\\");
    std::strcat(logPath, kFileName);

    if (std::FILE* file = openLog()) {
        std::fputs("------Start Log System-------\n", file);
        std::fclose(file);
    }
    return 1;
}

int kx_log_exit(void)
{
    std::FILE* file = openLog();
    if (!file)
        return 0;
    std::fputs("------Exit Log System-------\n", file);
    return std::fclose(file);
}

int kx_printf(const char* format, ...)
{
    if (!format)
        return 0;
    std::va_list args;
    va_start(args, format);
    const int written = appendLine(format, args);
    va_end(args);
    return written;
}

int kx_log(const char* file, const char* function, int line, const char* message)
{
    if (!file || !function || !message)
        return 0;
    return appendLineOf("[%s]:%s(%d): %s\n", file, function, line, message);
}

}  // extern "C"
