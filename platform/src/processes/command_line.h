// Splitting a Windows command line the way a program's start-up code does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::detail {

// The arguments after the program name: blanks separate them outside
// quotes, quotes group, 2n backslashes before a quote give n and the quote
// toggles grouping, 2n+1 give n and a literal quote, "" inside a group is a
// literal quote; other backslashes are kept as they are.
std::vector<std::string> splitArguments(std::string_view text);

// How CreateProcessA may read the program name off the front of a command
// line: a quoted name is taken whole; an unquoted one may end at any blank,
// shortest first, and the first of these that names a file wins.
struct ProgramCandidate {
    std::string name;
    std::string_view rest;  // the arguments that follow it
};
std::vector<ProgramCandidate> programCandidates(std::string_view commandLine);

}  // namespace win::detail
