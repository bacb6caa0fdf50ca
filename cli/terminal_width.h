// Text that fits a terminal: its width, and lines cut or wrapped to it. A
// line longer than the terminal wraps onto the next row, and a redraw that
// counts lines instead of rows then lands in the wrong place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The width of the terminal on fd now (TIOCGWINSZ), else COLUMNS, else 80;
// none when fd is not a terminal (a log or a pipe keeps whole lines).
std::optional<std::size_t> terminalColumns(int fd);

// Columns the UTF-8 text takes: one per character.
std::size_t columnsOf(std::string_view text);

// The text in at most columns, its end replaced by "..." when cut.
std::string cutToColumns(const std::string& text, std::size_t columns);

// The words on lines of at most columns; a word longer than that (a path)
// is split across lines, never cut: nothing of it is lost.
// restColumns, when given, is the room of the lines after the first.
std::vector<std::string> wrapWords(const std::string& text, std::size_t columns, std::size_t restColumns = 0);

// Each line of text wrapped to the terminal on fd (one column short), the
// rows after a line's first indented by indent; unchanged for a log or a
// pipe.
std::string fitTerminal(const std::string& text, int fd, std::size_t indent = 2);

}  // namespace cli
