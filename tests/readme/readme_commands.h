// The README's example commands (its indented blocks) as a newcomer types
// them, and which of them a test can run on a machine of its own.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace readme {

struct Command {
    int line = 0;  // in the README, from 1
    std::string text;
};

// Every line of every indented code block, in document order.
std::vector<Command> exampleCommands(std::istream& markdown);

struct Verdict {
    enum class Kind { run, fails, skip };
    Kind kind = Kind::run;
    std::string skipReason;  // skip
    std::string failText;    // fails: what its output must say, if anything
};

// Lines that cannot run on an emulated machine are skipped for a stated
// reason; a line whose comment says it fails (`# fails`, or
// `# fails with "TEXT"`) must fail.
Verdict classify(const std::string& command);

// build/ becomes the real build folder, and a /tmp/ path a path under the
// test's own folder.
std::string rewritePaths(const std::string& command, const std::string& buildDir, const std::string& tempDir);

}  // namespace readme
