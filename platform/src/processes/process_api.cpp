// Child processes: a Windows command line names a program of the machine,
// which runs as a host process on the same machine.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "files/path_map.h"
#include "platform/helper_programs.h"
#include "platform/machine.h"
#include "platform/win_api.h"
#include "processes/command_line.h"
#include "processes/processes.h"
#include "processes/program_image.h"
#include "system/handles.h"
#include "text/codepage.h"

extern char** environ;

namespace win {

namespace {

namespace fs = std::filesystem;

constexpr DWORD kErrorDirectory = 267;

// One child, shared by its process and thread handles. Whoever sees it end
// first reaps it; if every handle is closed while it runs, a background
// thread reaps it when it ends, so no zombie is left behind.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess()
    {
        if (!poll())
            std::thread([pid = pid_] {
                int status = 0;
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
            }).detach();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // True once the child has ended; never blocks.
    bool poll()
    {
        std::lock_guard guard(lock_);
        if (exitCode_)
            return true;
        int status = 0;
        pid_t rc;
        while ((rc = ::waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (rc == 0)
            return false;
        if (rc < 0)
            exitCode_ = 0;  // reaped elsewhere: it has ended, its code is lost
        else if (WIFEXITED(status))
            exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
        else
            exitCode_ = 128u + static_cast<DWORD>(WTERMSIG(status));
        return true;
    }

    DWORD exitCode()
    {
        return poll() ? *exitCode_ : STILL_ACTIVE;
    }

    // The child runs in real time, so its time-outs are not scaled.
    DWORD wait(DWORD milliseconds)
    {
        if (milliseconds == INFINITE) {
            while (!poll()) {
                siginfo_t info{};
                // Blocks until it ends without reaping it, so that other
                // waiters and GetExitCodeProcess are not locked out.
                if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno != EINTR)
                    break;
            }
            return WAIT_OBJECT_0;
        }
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        auto step = std::chrono::milliseconds(1);
        for (;;) {
            if (poll())
                return WAIT_OBJECT_0;
            const auto now = Clock::now();
            if (now >= deadline)
                return WAIT_TIMEOUT;
            std::this_thread::sleep_for(std::min<Clock::duration>(step, deadline - now));
            step = std::min(step * 2, std::chrono::milliseconds(10));
        }
    }

private:
    const pid_t pid_;
    std::mutex lock_;
    std::optional<DWORD> exitCode_;
};

struct ProcessObject : detail::Waitable {
    explicit ProcessObject(std::shared_ptr<ChildProcess> c) : child(std::move(c)) {}
    DWORD wait(DWORD milliseconds) override { return child->wait(milliseconds); }
    std::shared_ptr<ChildProcess> child;
};

// The child's main thread ends with it.
struct ThreadObject : detail::Waitable {
    explicit ThreadObject(std::shared_ptr<ChildProcess> c) : child(std::move(c)) {}
    DWORD wait(DWORD milliseconds) override { return child->wait(milliseconds); }
    std::shared_ptr<ChildProcess> child;
};

bool hasExtension(const std::string& name)
{
    const size_t slash = name.find_last_of("\\/:");
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::optional<fs::path> existingFile(const std::string& windowsPath)
{
    try {
        const auto resolved = detail::resolvePath(windowsPath);
        std::error_code ec;
        if (resolved.kind == detail::ResolvedPath::HostFile && fs::is_regular_file(resolved.host, ec))
            return resolved.host;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<fs::path> existingDirectory(const std::string& windowsPath)
{
    try {
        const auto resolved = detail::resolvePath(windowsPath);
        std::error_code ec;
        if (resolved.kind == detail::ResolvedPath::HostFile && fs::is_directory(resolved.host, ec))
            return resolved.host;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// The search of a program named on the command line: ".exe" when it has no
// extension; a bare name is looked for in the system directory, then the
// Windows directory, never in the current directory, which may be any
// folder of the host. The name as given is a last resort, for programs
// without extensions.
std::optional<fs::path> findProgram(const std::string& name)
{
    std::vector<std::string> names;
    if (!hasExtension(name))
        names.push_back(name + ".exe");
    names.push_back(name);
    const bool bare = name.find_first_of("\\/:") == std::string::npos;
    for (const auto& n : names) {
        if (!bare) {
            if (auto found = existingFile(n))
                return found;
            continue;
        }
        for (const char* dir : {"C:\\Windows\\system32\\", "C:\\Windows\\"})
            if (auto found = existingFile(dir + n))
                return found;
    }
    return std::nullopt;
}

DWORD errorOfErrno(int error)
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_BAD_FORMAT;
    }
}

// The child's environment: the given block ("A=B\0C=D\0\0") or ours, with the
// machine it must act on.
std::vector<std::string> childEnvironment(const void* block)
{
    std::vector<std::string> env;
    if (block) {
        for (const char* p = static_cast<const char*>(block); *p; p += std::strlen(p) + 1)
            env.push_back(detail::ansiToUtf8(p));
    } else {
        for (char** p = environ; *p; ++p)
            env.emplace_back(*p);
    }
    std::erase_if(env, [](const std::string& e) { return e.rfind("KX_MACHINE=", 0) == 0; });
    try {
        env.push_back("KX_MACHINE=" + machine::current()->dir().string());
    } catch (const std::exception&) {
    }
    // Our programs inside the machine (cmddev.exe) lie far from the library
    // their link names: they load the one this process runs.
    if (const fs::path own = machine::platformLibraryFolder(); !own.empty()) {
        constexpr std::string_view kName = "LD_LIBRARY_PATH=";
        const auto given = std::find_if(env.begin(), env.end(), [&](const std::string& e) { return e.starts_with(kName); });
        if (given == env.end())
            env.push_back(std::string(kName) + own.string());
        else if (given->size() == kName.size())
            *given = std::string(kName) + own.string();
        else
            *given = std::string(kName) + own.string() + ":" + given->substr(kName.size());
    }
    return env;
}

std::vector<char*> pointersOf(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

namespace detail {

bool isProcessHandle(HANDLE handle) { return lookupAs<ProcessObject>(handle) != nullptr; }

}  // namespace detail

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD flags, LPVOID environment, LPCSTR directory, STARTUPINFOA*, PROCESS_INFORMATION* info)
{
    if (!info || ((!application || !*application) && (!commandLine || !*commandLine))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string line = commandLine ? detail::ansiToUtf8(commandLine) : std::string{};
    std::optional<fs::path> program;
    std::vector<std::string> args;
    if (application && *application) {
        // The whole command line goes to the program; its first word is the
        // program's own name.
        program = existingFile(detail::ansiToUtf8(application));
        args = detail::splitArguments(line);
        if (!args.empty())
            args.erase(args.begin());
    } else {
        for (const auto& candidate : detail::programCandidates(line))
            if ((program = findProgram(candidate.name))) {
                args = detail::splitArguments(candidate.rest);
                break;
            }
    }
    if (!program) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DWORD refusal = ERROR_SUCCESS;
    const std::optional<detail::ProgramImage> image = detail::ProgramImage::load(*program, &refusal);
    if (!image) {
        SetLastError(refusal);
        return FALSE;
    }

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    std::string workDir;
    if (directory && *directory) {
        const auto found = existingDirectory(detail::ansiToUtf8(directory));
        if (!found) {
            ::posix_spawn_file_actions_destroy(&actions);
            SetLastError(kErrorDirectory);
            return FALSE;
        }
        workDir = found->string();
        ::posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    }
    // A console program started without a window has no console: what it
    // prints goes nowhere.
    if (flags & CREATE_NO_WINDOW) {
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    // The child runs the checked copy under the program's own name.
    if (image->fd() >= 0)
        ::posix_spawn_file_actions_adddup2(&actions, image->fd(), image->fd());
    const std::string path = image->execPath();
    args.insert(args.begin(), image->leadingArgs().begin(), image->leadingArgs().end());
    auto argv = pointersOf(args);
    auto envTexts = childEnvironment(environment);
    auto envp = pointersOf(envTexts);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastError(errorOfErrno(rc));
        return FALSE;
    }

    auto child = std::make_shared<ChildProcess>(pid);
    info->hProcess = detail::registerHandle(std::make_shared<ProcessObject>(child));
    info->hThread = detail::registerHandle(std::make_shared<ThreadObject>(child));
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);  // a process's main thread has its id
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process == GetCurrentProcess()) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto object = detail::lookupAs<ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = object->child->exitCode();
    return TRUE;
}

}  // namespace win
