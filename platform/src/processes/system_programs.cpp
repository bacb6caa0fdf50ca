#include "processes/system_programs.h"

#include "machine/file_replace.h"
#include "platform/helper_programs.h"
#include "platform/machine.h"

namespace machine {

namespace {

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
    // The interpreter of the program making the machine, named by its full
    // path; a tree without one leaves it to PATH.
    const fs::path found = helperProgram("orvane-cmd");
    const std::string program = found.empty() ? std::string("orvane-cmd") : found.string();
    // "$@" hands every argument over untouched: no shell reads them.
    replaceFile(driveC / "Windows" / "system32" / "cmd.exe", "#!/bin/sh\nexec " + shellQuoted(program) + " \"$@\"\n",
                0700);
}

}  // namespace machine
