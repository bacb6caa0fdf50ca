// Library message conventions. A message is a printf line: a level ("OK:",
// "ERR:", "LOG:"), the reporting module's source path, function and line as
// "[%s:%s:%d]", a colon and the text. The texts are written out in full at
// each call so they can be found by grepping.
#pragma once

#include "kx/kx.h"

namespace kx::source {

// Source paths the modules report under.
inline constexpr const char* kxPart = ".\\parted\\kx_part";
inline constexpr const char* pedDevice = ".\\parted\\peddevice";
inline constexpr const char* pedWindow = ".\\arch\\pedwindow";
inline constexpr const char* pedWinBase = ".\\arch\\pedwinbase";

}  // namespace kx::source

// The three arguments of "[%s:%s:%d]": module, calling function, line.
// Not for use inside lambdas, where __func__ is "operator()".
#define KX_WHERE(module) (module), __func__, __LINE__

// Reports a failed check (for example "devpath == NULL") through kx_log.
#define KX_REPORT(module, text) kx_log((module), __func__, __LINE__, (text))

namespace kx {

// Where a check is made, so that a shared helper can report under the name
// of the function that called it.
struct Where {
    const char* module;
    const char* function;
    int line;
};

// As KX_REPORT, from the place at.
inline void report(const Where& at, const char* text)
{
    kx_log(at.module, at.function, at.line, text);
}

}  // namespace kx

// The calling place, as KX_WHERE but as one value.
#define KX_HERE(module) (::kx::Where{(module), __func__, __LINE__})
