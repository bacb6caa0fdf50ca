#include "cli/command_line.h"

#include <algorithm>

namespace cli {

std::optional<std::string> CommandLine::option(const std::string& name) const
{
    auto it = options.find(name);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

void CommandLine::allowOnly(const std::vector<std::string>& names) const
{
    for (const auto& [name, value] : options)
        if (std::find(names.begin(), names.end(), name) == names.end())
            throw UsageError("unknown option " + name + " for this command");
}

namespace {

// Options that stand alone, without a value.
bool isSwitch(const std::string& name)
{
    return name == "--yes" || name == "--all" || name == "--full" || name == "--restart-when-told";
}

}  // namespace

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "-o")
            word = "--output";
        if (word.rfind("--", 0) != 0 || word == "--help") {
            line.words.push_back(word == "--help" ? "help" : word);
            continue;
        }
        std::string name = word, value;
        if (const size_t eq = word.find('='); eq != std::string::npos) {
            name = word.substr(0, eq);
            value = word.substr(eq + 1);
            if (isSwitch(name))
                throw UsageError(name + " takes no value");
        } else if (isSwitch(name)) {
            // present with an empty value
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw UsageError(name + " needs a value");
        }
        if (line.options.count(name) || (name == "--machine" && line.machine))
            throw UsageError(name + " is given twice");
        if (name == "--machine")
            line.machine = value;
        else
            line.options[name] = value;
    }
    return line;
}

}  // namespace cli
