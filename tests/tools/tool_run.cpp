#include "tool_run.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/temp_machine.h"

namespace tools_testing {

std::string shellQuote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolRun runTool(const std::string& tool, const std::vector<std::string>& args, const std::string& env)
{
    char errFile[] = "/tmp/orvane-tool-stderr-XXXXXX";
    const int fd = ::mkstemp(errFile);
    if (fd >= 0)
        ::close(fd);
    std::string command = "{ " + (env.empty() ? "" : "env " + env + " ") +
                          shellQuote(testing_support::buildDir() + "/" + tool);
    for (const auto& a : args)
        command += " " + shellQuote(a);
    command += " 2>" + shellQuote(errFile) + "; }";
    ToolRun run;
    run.code = testing_support::runCommand(command, &run.out);
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    ::unlink(errFile);
    return run;
}

}  // namespace tools_testing
