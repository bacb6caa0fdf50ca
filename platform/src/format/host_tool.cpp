#include "format/host_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>

extern char** environ;

namespace win::detail {

namespace {

// The child's environment: ours, with messages in plain English so that
// they can be read.
std::vector<std::string> toolEnvironment()
{
    std::vector<std::string> env;
    for (char** p = environ; *p; ++p)
        if (std::strncmp(*p, "LC_ALL=", 7) != 0 && std::strncmp(*p, "LANGUAGE=", 9) != 0)
            env.emplace_back(*p);
    env.emplace_back("LC_ALL=C");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LineSplitter {
public:
    explicit LineSplitter(const std::function<bool(const std::string&)>& onLine) : onLine_(onLine) {}

    // False once onLine asked to stop.
    bool feed(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c != '\n' && c != '\r' && c != '\b') {
                line_ += c;
                continue;
            }
            if (!flush())
                return false;
        }
        return true;
    }

    bool flush()
    {
        if (line_.empty())
            return true;
        remember(line_);
        const bool go = onLine_(line_);
        line_.clear();
        return go;
    }

    std::string lastLines() const
    {
        std::string out;
        for (const auto& l : last_)
            out += (out.empty() ? "" : "\n") + l;
        return out;
    }

private:
    void remember(const std::string& line)
    {
        last_.push_back(line);
        if (last_.size() > 4)
            last_.pop_front();
    }

    const std::function<bool(const std::string&)>& onLine_;
    std::string line_;
    std::deque<std::string> last_;
};

}  // namespace

std::string hostToolFolders(bool root)
{
    // Root writes disks with what it runs: the system's own folders only.
    if (root)
        return kSystemToolFolders;
    const char* path = std::getenv("PATH");
    return std::string(path ? path : "") + ":/usr/local/sbin:/usr/sbin:/sbin";
}

std::optional<std::string> findHostTool(const std::string& name)
{
    const std::string dirs = hostToolFolders(::geteuid() == 0);
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        start = end + 1;
        // A relative entry ("." or empty) is the current folder, any folder.
        if (dir.empty() || dir.front() != '/')
            continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(candidate))
            return candidate;
    }
    return std::nullopt;
}

ToolResult runHostTool(const std::string& path, const std::vector<std::string>& args,
                       const std::function<bool(const std::string&)>& onLine, int outputFd)
{
    ToolResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, outputFd >= 0 ? outputFd : pipeFds[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<std::string> argvTexts{path};
    argvTexts.insert(argvTexts.end(), args.begin(), args.end());
    auto argv = pointers(argvTexts);
    auto envTexts = toolEnvironment();
    auto envp = pointers(envTexts);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        result.lastLines = path + ": " + std::strerror(rc);
        return result;
    }
    result.started = true;
    LineSplitter lines(onLine);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            result.stopped = !lines.flush();
            break;
        }
        if (!lines.feed(buffer, static_cast<std::size_t>(n))) {
            result.stopped = true;
            break;
        }
    }
    if (result.stopped)
        ::kill(pid, SIGTERM);  // our own child, by its id
    ::close(pipeFds[0]);
    const int code = reap(pid);
    result.exitCode = result.stopped ? -1 : code;
    result.lastLines = lines.lastLines();
    return result;
}

}  // namespace win::detail
