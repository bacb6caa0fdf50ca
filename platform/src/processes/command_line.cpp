#include "processes/command_line.h"

namespace win::detail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitArguments(std::string_view text)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = text.size();
    for (;;) {
        while (i < n && isBlank(text[i]))
            ++i;
        if (i == n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(text[i]))) {
            const char c = text[i];
            if (c == '\\') {
                size_t slashes = 0;
                while (i < n && text[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && text[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::vector<ProgramCandidate> programCandidates(std::string_view line)
{
    size_t start = 0;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    line.remove_prefix(start);
    std::vector<ProgramCandidate> out;
    if (line.empty())
        return out;
    if (line.front() == '"') {
        const size_t close = line.find('"', 1);
        if (close == std::string_view::npos)
            return {{std::string(line.substr(1)), {}}};
        return {{std::string(line.substr(1, close - 1)), line.substr(close + 1)}};
    }
    for (size_t i = 1; i < line.size(); ++i)
        if (isBlank(line[i]) && !isBlank(line[i - 1]))
            out.push_back({std::string(line.substr(0, i)), line.substr(i)});
    size_t end = line.size();
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    if (out.empty() || out.back().name.size() != end)
        out.push_back({std::string(line.substr(0, end)), line.substr(end)});
    return out;
}

}  // namespace win::detail
