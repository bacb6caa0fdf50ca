// orvane-cmd: the command interpreter the machine's C:\Windows\system32\cmd.exe
// runs. It knows one command, format, acting on the machine of KX_MACHINE.
#include <cctype>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "format_command.h"

namespace {

// Windows says 9009; a host exit status keeps only eight bits.
constexpr int kNotRecognised = 1;

const char* const kUsage =
    "Usage: cmd /c format X: [/fs:ntfs|fat|fat32] [/v:LABEL] [/q] [/a:SIZE] [/x] [/y]\n"
    "\n"
    "Formats the volume of drive X: of the machine named by KX_MACHINE (else\n"
    "the default machine). /q formats quickly, /y asks no question, /a:SIZE\n"
    "sets the cluster size (4096, 4K, 64K). Without /fs the file system is NTFS.\n"
    "\n"
    "Exit status: 0 done, 1 bad command line or unknown command, 4 the format\n"
    "failed, 5 declined.\n";

std::string lower(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A command handed over as one quoted word ("format D: /q") is split here,
// as the interpreter would read it.
std::vector<std::string> commandWords(std::vector<std::string> words)
{
    if (words.size() != 1 || words[0].find(' ') == std::string::npos)
        return words;
    std::istringstream text(words[0]);
    std::vector<std::string> split;
    for (std::string w; text >> w;)
        split.push_back(w);
    return split;
}

// Chaining, pipes, redirection and escapes are not run here; a label with
// them would be cut short by the real interpreter.
bool hasOperator(const std::vector<std::string>& words, char* which)
{
    for (const auto& w : words)
        for (char c : w)
            if (c == '&' || c == '|' || c == '<' || c == '>' || c == '^') {
                *which = c;
                return true;
            }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::size_t at = 0;
    bool run = false;
    for (; at < args.size() && args[at].size() >= 2 && args[at][0] == '/'; ++at) {
        const std::string sw = lower(args[at]);
        if (sw == "/?") {
            std::cout << kUsage;
            return 0;
        }
        if (sw == "/c" || sw == "/k") {
            run = true;
            ++at;
            break;
        }
    }
    if (!run) {
        std::cerr << "cmd: this machine's interpreter only runs commands given with /c\n" << kUsage;
        return 1;
    }
    const auto words = commandWords(std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(at), args.end()));
    if (words.empty())
        return 0;
    char op = 0;
    if (hasOperator(words, &op)) {
        std::cerr << "cmd: '" << op << "' (command chaining, pipes or redirection) is not supported here\n";
        return 1;
    }
    std::string command = lower(words[0]);
    for (const char* ext : {".com", ".exe"})
        if (command.size() > 4 && command.compare(command.size() - 4, 4, ext) == 0)
            command.resize(command.size() - 4);
    if (command != "format") {
        std::cerr << "'" << words[0] << "' is not recognized as an internal or external command,\n"
                  << "operable program or batch file.\n";
        return kNotRecognised;
    }
    return orvane_cmd::runFormat(std::vector<std::string>(words.begin() + 1, words.end()));
}
