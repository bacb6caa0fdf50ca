#include "cli/terminal_width.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;
constexpr std::string_view kEllipsis = "...";

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes of the first columns characters.
std::size_t bytesOfColumns(std::string_view text, std::size_t columns)
{
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        if (continuation(text[at]))
            continue;
        if (seen++ == columns)
            break;
    }
    return at;
}

}  // namespace

std::optional<std::size_t> terminalColumns(int fd)
{
    if (!::isatty(fd))
        return std::nullopt;
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && *columns) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(columns, &end, 10);
        if (*end == '\0' && n > 0 && n < 10000)
            return n;
    }
    return kDefaultColumns;
}

std::size_t columnsOf(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        n += continuation(c) ? 0 : 1;
    return n;
}

std::string cutToColumns(const std::string& text, std::size_t columns)
{
    if (columnsOf(text) <= columns)
        return text;
    if (columns <= kEllipsis.size())
        return text.substr(0, bytesOfColumns(text, columns));
    return text.substr(0, bytesOfColumns(text, columns - kEllipsis.size())) + std::string(kEllipsis);
}

std::vector<std::string> wrapWords(const std::string& text, std::size_t columns, std::size_t restColumns)
{
    std::vector<std::string> lines;
    std::string line;
    const auto room = [&] { return lines.empty() || restColumns == 0 ? columns : restColumns; };
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string word = text.substr(start, end - start);
        at = end;
        if (!line.empty() && columnsOf(line) + 1 + columnsOf(word) <= room()) {
            line += " " + word;
            continue;
        }
        if (!line.empty())
            lines.push_back(std::move(line));
        line = word;
        while (room() > 0 && columnsOf(line) > room()) {
            const std::size_t split = bytesOfColumns(line, room());
            lines.push_back(line.substr(0, split));
            line.erase(0, split);
        }
    }
    if (!line.empty() || lines.empty())
        lines.push_back(std::move(line));
    return lines;
}

std::string fitTerminal(const std::string& text, int fd, std::size_t indent)
{
    const auto columns = terminalColumns(fd);
    if (!columns)
        return text;
    const std::size_t width = *columns > indent + 11 ? *columns - 1 : indent + 10;
    std::string fitted;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const std::size_t lead = std::min({line.find_first_not_of(' '), line.size(), width / 4});
        // The first row as wide as the terminal, the others indented.
        const auto rows = wrapWords(line, width - lead, width - lead - indent);
        fitted += std::string(lead, ' ') + rows.front();
        for (std::size_t k = 1; k < rows.size(); ++k)
            fitted += "\n" + std::string(lead + indent, ' ') + rows[k];
        if (end < text.size())
            fitted += '\n';
        at = end + 1;
    }
    return fitted;
}

}  // namespace cli
