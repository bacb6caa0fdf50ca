// Runs a formatter of the host (mkntfs, mkfs.fat) and hands its output over
// line by line while it runs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace win::detail {

// The folders host tools are looked for in, in order: as root the
// system's own (kSystemToolFolders); else PATH and then the system folders
// the formatters live in, which a user's PATH often lacks.
inline constexpr const char* kSystemToolFolders = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
std::string hostToolFolders(bool root);

// The program's path: found in an absolute folder of hostToolFolders.
std::optional<std::string> findHostTool(const std::string& name);

struct ToolResult {
    bool started = false;
    bool stopped = false;  // onLine asked to stop, and the tool was ended
    int exitCode = -1;     // -1: it did not exit by itself
    std::string lastLines; // the end of its output, for error messages
};

// onLine sees each line (split at newlines, carriage returns and
// backspaces, which progress counters use); returning false ends the tool.
// With an output descriptor, the tool's standard output goes there and only
// its standard error is read as lines.
ToolResult runHostTool(const std::string& path, const std::vector<std::string>& args,
                       const std::function<bool(const std::string&)>& onLine, int outputFd = -1);

}  // namespace win::detail
