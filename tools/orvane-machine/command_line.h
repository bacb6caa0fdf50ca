// The command line of orvane-machine: one command, its options and its
// arguments, with --machine accepted anywhere.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace machine_tool {

// A command line that cannot be obeyed as written (exit code 2).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::string name;  // with its dashes: "--size"
    bool takesValue = false;
};

struct Invocation;

struct CommandSpec {
    std::string name;
    std::string synopsis;  // "plug N"
    std::vector<OptionSpec> options;
    size_t minArgs = 0, maxArgs = 0;
    int (*run)(const Invocation&) = nullptr;
};

struct Invocation {
    const CommandSpec* command = nullptr;
    bool help = false;
    std::optional<std::string> machineDir;  // from --machine
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> args;

    bool flag(const std::string& name) const { return flags.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
};

Invocation parseCommandLine(const std::vector<std::string>& words, const std::vector<CommandSpec>& commands);

}  // namespace machine_tool
