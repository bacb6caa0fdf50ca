#include "command_line.h"

namespace machine_tool {

std::optional<std::string> Invocation::value(const std::string& name) const
{
    if (auto it = values.find(name); it != values.end())
        return it->second;
    return std::nullopt;
}

namespace {

const CommandSpec& findCommand(const std::string& name, const std::vector<CommandSpec>& commands)
{
    for (const auto& c : commands)
        if (c.name == name)
            return c;
    throw UsageError("unknown command '" + name + "'");
}

const OptionSpec* findOption(const CommandSpec* command, const std::string& name)
{
    static const OptionSpec machine{"--machine", true};
    static const OptionSpec help{"--help", false};
    if (name == machine.name)
        return &machine;
    if (name == help.name || name == "-h")
        return &help;
    if (command)
        for (const auto& o : command->options)
            if (o.name == name)
                return &o;
    return nullptr;
}

class Parser {
public:
    Parser(const std::vector<std::string>& words, const std::vector<CommandSpec>& commands)
        : words_(words), commands_(commands)
    {
    }

    Invocation parse()
    {
        bool optionsEnded = false;
        while (next_ < words_.size()) {
            const std::string& word = words_[next_++];
            if (!optionsEnded && word == "--")
                optionsEnded = true;
            else if (!optionsEnded && word.size() > 1 && word[0] == '-')
                option(word);
            else if (!inv_.command)
                inv_.command = &findCommand(word, commands_);
            else
                inv_.args.push_back(word);
        }
        if (inv_.help)
            return inv_;
        if (!inv_.command)
            throw UsageError("no command given");
        const CommandSpec& c = *inv_.command;
        if (inv_.args.size() < c.minArgs || inv_.args.size() > c.maxArgs)
            throw UsageError("usage: orvane-machine " + c.synopsis);
        return inv_;
    }

private:
    void option(const std::string& word)
    {
        const size_t eq = word.find('=');
        const std::string name = word.substr(0, eq);
        const OptionSpec* known = findOption(inv_.command, name);
        if (!known)
            throw UsageError("unknown option " + name +
                             (inv_.command ? " for " + inv_.command->name : std::string(" before the command")));
        if (!known->takesValue) {
            if (eq != std::string::npos)
                throw UsageError(name + " takes no value");
            if (name == "--help" || name == "-h")
                inv_.help = true;
            else
                inv_.flags.insert(name);
            return;
        }
        std::string value;
        if (eq != std::string::npos)
            value = word.substr(eq + 1);
        else if (next_ < words_.size())
            value = words_[next_++];
        else
            throw UsageError(name + " needs a value");
        if (value.empty())
            throw UsageError(name + " needs a value");
        if (name == "--machine") {
            if (inv_.machineDir)
                throw UsageError("--machine is given twice");
            inv_.machineDir = value;
        } else if (!inv_.values.emplace(name, value).second) {
            throw UsageError(name + " is given twice");
        }
    }

    const std::vector<std::string>& words_;
    const std::vector<CommandSpec>& commands_;
    size_t next_ = 0;
    Invocation inv_;
};

}  // namespace

Invocation parseCommandLine(const std::vector<std::string>& words, const std::vector<CommandSpec>& commands)
{
    return Parser(words, commands).parse();
}

}  // namespace machine_tool
