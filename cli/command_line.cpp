#include "cli/command_line.h"

#include <algorithm>
#include <cctype>

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

// Every option of some command: a name outside them is a mistake in
// itself, and must not take the next word as its value.
const std::vector<std::string>& knownOptions()
{
    static const std::vector<std::string> names = {
        "--all",     "--bsize-file", "--cluster", "--device",     "--driver", "--fs",
        "--full",    "--jobs",       "--kernel",  "--label",      "--letter", "--machine",
        "--output",  "--partitions", "--password-fd", "--restart-when-told", "--rootfs", "--sizes",
        "--text1",   "--text2",      "--text3",   "--text4",      "--usb-id", "--yes"};
    return names;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The one known option the user most likely meant: the same name in other
// case, or for a short "-y" the only long option of that first letter.
UsageError unknownOption(const std::string& name)
{
    std::vector<std::string> near;
    const bool shortForm = name.rfind("--", 0) != 0;
    for (const auto& known : knownOptions())
        if (shortForm ? lower(known.substr(2, 1)) == lower(name.substr(1, 1)) : lower(known) == lower(name))
            near.push_back(known);
    std::string message = "unknown option " + name;
    if (near.size() == 1)
        message += "; did you mean " + near.front() + "?";
    return UsageError(message);
}

}  // namespace

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "-o")
            word = "--output";
        // A short option other than -o is none of ours; a word that is only
        // "-" or starts "-" then a digit stays a word.
        if (word.size() > 1 && word[0] == '-' && word[1] != '-' && std::isalpha(static_cast<unsigned char>(word[1])))
            throw unknownOption(word.substr(0, word.find('=')));
        if (word.rfind("--", 0) != 0 || word == "--help") {
            line.words.push_back(word == "--help" ? "help" : word);
            continue;
        }
        std::string name = word.substr(0, word.find('=')), value;
        if (std::find(knownOptions().begin(), knownOptions().end(), name) == knownOptions().end())
            throw unknownOption(name);
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
