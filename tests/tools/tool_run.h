// Runs the built tools as a user would, keeping stdout and stderr apart.
#pragma once

#include <string>
#include <vector>

namespace tools_testing {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

std::string shellQuote(const std::string& word);
// env: "NAME=value" assignments (or "-u NAME") placed before the program.
ToolRun runTool(const std::string& tool, const std::vector<std::string>& args, const std::string& env = "");

}  // namespace tools_testing
