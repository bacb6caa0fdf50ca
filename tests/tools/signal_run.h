// Runs a built tool in a process group of its own, as a terminal runs a
// job, and acts on it when its output reaches a given text: signals to the
// group or to the tool alone, or a line to its input.
#pragma once

#include <string>
#include <vector>

namespace tools_testing {

struct RunStep {
    std::string when;  // acted on once the output holds this, after the last step's text
    int signal = 0;    // sent when nonzero
    bool toGroup = true;
    std::string input;  // else this line is written to the tool's input
};

inline RunStep signalAt(std::string when, int signal, bool toGroup = true)
{
    return RunStep{std::move(when), signal, toGroup, {}};
}
inline RunStep inputAt(std::string when, std::string line) { return RunStep{std::move(when), 0, true, std::move(line)}; }

struct SignalledRun {
    int code = -1;  // 128 + the signal when one ended it
    std::string out;  // output and errors as they came
    std::size_t stepsDone = 0;
};

// KX_MACHINE is left out of the tool's environment; the input stays open
// until the tool ends. Ends the tool (and fails) after 120 s.
SignalledRun runWithSteps(const std::string& tool, const std::vector<std::string>& args,
                          const std::vector<RunStep>& steps);

}  // namespace tools_testing
