// How callers build an application log message: a prefix naming the source
// file, the qualified function and the line, then the text.
#pragma once

#include <string>

#if defined(__GNUC__)
#define LOG_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define LOG_PRINTF_FORMAT
#endif

// printf-style formatting into one message string (UTF-8).
std::string FormatLogMessage(const char* format, ...) LOG_PRINTF_FORMAT;
// The source file's path relative to the project, as the prefix shows it.
const char* LogSourceFile(const char* file);
// "CTavrinOpt::Check" out of the compiler's full function signature.
std::string LogFunctionName(const char* prettyFunction);
