#include "processes/system_programs.h"

#include "machine/file_replace.h"
#include "platform/machine.h"

namespace machine {

namespace {

#ifndef ORVANE_CMD_PROGRAM
#define ORVANE_CMD_PROGRAM "orvane-cmd"
#endif

std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

void writeSystemPrograms(const fs::path& driveC)
{
    // "$@" hands every argument over untouched: no shell reads them.
    replaceFile(driveC / "Windows" / "system32" / "cmd.exe",
                "#!/bin/sh\nexec " + shellQuoted(ORVANE_CMD_PROGRAM) + " \"$@\"\n", 0700);
}

}  // namespace machine
