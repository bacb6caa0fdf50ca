#include "app/core/log/LogMessage.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

std::string FormatLogMessage(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return text;
}

const char* LogSourceFile(const char* file)
{
    // This file sits at <project>/app/core/log/LogMessage.cpp; every source of
    // the project shares that prefix.
    static const std::string_view kProjectRoot = [] {
        std::string_view self = __FILE__;
        constexpr std::string_view kSelf = "app/core/log/LogMessage.cpp";
        return self.ends_with(kSelf) ? self.substr(0, self.size() - kSelf.size()) : std::string_view();
    }();
    if (!file)
        return "";
    if (!kProjectRoot.empty() && std::strncmp(file, kProjectRoot.data(), kProjectRoot.size()) == 0)
        return file + kProjectRoot.size();
    return file;
}

std::string LogFunctionName(const char* prettyFunction)
{
    if (!prettyFunction)
        return {};
    std::string name = prettyFunction;
    // Helpers in unnamed namespaces read better without the compiler's tag;
    // clang's tag has a parenthesis, so it goes before the parameter list is found.
    for (const std::string_view unnamed : {std::string_view("{anonymous}::"), std::string_view("(anonymous namespace)::")})
        for (size_t at; (at = name.find(unnamed)) != std::string::npos;)
            name.erase(at, unnamed.size());
    const size_t paren = name.find('(');
    if (paren != std::string::npos)
        name.resize(paren);
    // What precedes the name (return type, "static") ends at the last blank.
    const size_t blank = name.rfind(' ');
    if (blank != std::string::npos)
        name.erase(0, blank + 1);
    return name;
}
