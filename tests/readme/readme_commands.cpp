#include "readme_commands.h"

#include <set>
#include <utility>
#include <vector>

namespace readme {

namespace {

bool blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// The words of a command line up to its comment, and the comment; quotes
// keep a word whole and hide a # from the comment rule.
struct Split {
    std::vector<std::string> bareWords;  // no quote anywhere in them
    std::string bareText;                // everything outside quotes
    std::string comment;                 // after the #, trimmed
};

Split split(const std::string& command)
{
    Split out;
    std::string word;
    bool quoted = false;
    char quote = 0;
    auto endWord = [&] {
        if (!word.empty() && !quoted)
            out.bareWords.push_back(word);
        word.clear();
        quoted = false;
    };
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            word += c;
            continue;
        }
        if (c == '#' && word.empty()) {
            const std::size_t start = command.find_first_not_of(' ', i + 1);
            if (start != std::string::npos)
                out.comment = command.substr(start);
            break;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            quoted = true;
            word += c;
            continue;
        }
        if (c == ' ' || c == '\t') {
            endWord();
            out.bareText += ' ';
            continue;
        }
        word += c;
        out.bareText += c;
    }
    endWord();
    return out;
}

// What the usage lines put where a value goes.
const std::set<std::string>& placeholders()
{
    static const std::set<std::string> words = {"DIR",  "FILE",      "PATH",  "IMAGE",  "OUT",     "N",
                                                "M",    "L",         "LABEL", "MIB",    "BYTES",   "PARTITION",
                                                "X:",   "HOSTFILE",  "NAME",  "TARGET", "SECONDS"};
    return words;
}

bool wordStart(const std::string& text, std::size_t at)
{
    if (at == 0)
        return true;
    const char before = text[at - 1];
    return before == ' ' || before == '(' || before == '"' || before == '\'' || before == '=' || before == '|' ||
           before == ';' || before == '<' || before == '>';
}

// One pass over the command as written: a replacement is never looked at
// again, so a build folder that itself lies under /tmp stays as it is.
std::string replaceAtWordStarts(const std::string& text,
                                const std::vector<std::pair<std::string, std::string>>& replacements)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [prefix, by] : replacements)
            if (text.compare(at, prefix.size(), prefix) == 0 && wordStart(text, at)) {
                out += by;
                at += prefix.size();
                replaced = true;
                break;
            }
        if (!replaced)
            out += text[at++];
    }
    return out;
}

}  // namespace

std::vector<Command> exampleCommands(std::istream& markdown)
{
    std::vector<Command> out;
    std::string line;
    bool afterBlank = true;  // the start of the file counts as one
    bool inBlock = false;
    for (int number = 1; std::getline(markdown, line); ++number) {
        if (blank(line)) {
            afterBlank = true;
            continue;  // a blank line inside a block does not end it
        }
        // An indented line only opens a block after a blank line; otherwise
        // it continues the paragraph above.
        const bool indented = line.rfind("    ", 0) == 0;
        inBlock = indented && (inBlock || afterBlank);
        afterBlank = false;
        if (inBlock)
            out.push_back({number, line.substr(line.find_first_not_of(' '))});
    }
    return out;
}

Verdict classify(const std::string& command)
{
    Verdict v;
    const Split s = split(command);
    if (s.bareWords.empty()) {
        v.kind = Verdict::Kind::skip;
        v.skipReason = "no command, only a comment";
        return v;
    }
    const std::string& program = s.bareWords.front();
    if (program == "./dev") {
        v.kind = Verdict::Kind::skip;
        v.skipReason = "the project's own set-up, build and test entry point; this test runs inside such a build";
        return v;
    }
    if (program == "build/orvane-config") {
        v.kind = Verdict::Kind::skip;
        v.skipReason = "the desktop application needs a display";
        return v;
    }
    bool usage = s.bareText.find('[') != std::string::npos;
    for (const auto& w : s.bareWords)
        usage = usage || placeholders().count(w);
    if (usage) {
        v.kind = Verdict::Kind::skip;
        v.skipReason = "a usage line: its [options] and capitals stand for what you fill in";
        return v;
    }
    if (s.comment.rfind("fails", 0) == 0) {
        v.kind = Verdict::Kind::fails;
        const std::size_t open = s.comment.find('"');
        const std::size_t close = open == std::string::npos ? open : s.comment.find('"', open + 1);
        if (close != std::string::npos)
            v.failText = s.comment.substr(open + 1, close - open - 1);
    }
    return v;
}

std::string rewritePaths(const std::string& command, const std::string& buildDir, const std::string& tempDir)
{
    return replaceAtWordStarts(command, {{"build/", buildDir + "/"}, {"/tmp/", tempDir + "/"}});
}

}  // namespace readme
