// The format command of the machine's command interpreter:
// format X: [/fs:ntfs|fat|fat32] [/v:LABEL] [/q] [/a:SIZE] [/x] [/y]
#pragma once

#include <string>
#include <vector>

#include "platform/volume_format.h"

namespace orvane_cmd {

// Exit codes of the format tool.
enum FormatExit { kFormatDone = 0, kFormatBadParameter = 1, kFormatFailed = 4, kFormatDeclined = 5 };

struct FormatOptions {
    machine::FormatRequest request;
    bool confirmed = false;  // /y: no question asked
};

// Fills options from the words after "format"; false with why when the
// command line is wrong.
bool parseFormat(const std::vector<std::string>& words, FormatOptions* options, std::string* why);

int runFormat(const std::vector<std::string>& words);

}  // namespace orvane_cmd
