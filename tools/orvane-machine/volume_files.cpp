// put-file and get-file: files in the file system of an encrypted volume
// the machine's encryption driver has mounted.
#include <cctype>
#include <iostream>

#include "commands.h"
#include "target_machine.h"

namespace machine_tool {

namespace {

char driveLetter(const std::string& word)
{
    const bool ok = (word.size() == 2 || (word.size() == 3 && word[2] == '\\')) && word[1] == ':' &&
                    std::isalpha(static_cast<unsigned char>(word[0]));
    if (!ok)
        throw UsageError("'" + word + "' is not a drive letter such as X:");
    return static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
}

}  // namespace

int runPutFile(const Invocation& inv)
{
    const char letter = driveLetter(inv.args[0]);
    machine::putVolumeFile(*openTarget(inv), letter, inv.args[1], inv.args[2]);
    std::cout << inv.args[1] << " copied to " << letter << ":" << inv.args[2] << "\n";
    return 0;
}

int runGetFile(const Invocation& inv)
{
    const char letter = driveLetter(inv.args[0]);
    machine::getVolumeFile(*openTarget(inv), letter, inv.args[1], inv.args[2]);
    std::cout << letter << ":" << inv.args[1] << " copied to " << inv.args[2] << "\n";
    return 0;
}

}  // namespace machine_tool
