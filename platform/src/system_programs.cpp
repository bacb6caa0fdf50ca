#include "system_programs.h"

#include <fstream>

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
    const fs::path cmd = driveC / "Windows" / "system32" / "cmd.exe";
    {
        std::ofstream out(cmd, std::ios::binary | std::ios::trunc);
        // "$@" hands every argument over untouched: no shell reads them.
        out << "#!/bin/sh\nexec " << shellQuoted(ORVANE_CMD_PROGRAM) << " \"$@\"\n";
        if (!out)
            throw MachineError("cannot write " + cmd.string());
    }
    fs::permissions(cmd, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
}

}  // namespace machine
