#include "signal_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "support/temp_machine.h"

namespace tools_testing {

SignalledRun runWithSteps(const std::string& tool, const std::vector<std::string>& args,
                          const std::vector<RunStep>& steps)
{
    SignalledRun run;
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
        return run;
    const std::string program = testing_support::buildDir() + "/" + tool;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::unsetenv("KX_MACHINE");
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // either side may win; both ask for the same
    ::close(input[0]);
    ::close(output[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::size_t searchFrom = 0;
    for (;;) {
        pollfd fd{output[0], POLLIN, 0};
        if (::poll(&fd, 1, 200) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(output[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            run.out.append(buffer, static_cast<std::size_t>(n));
        }
        while (run.stepsDone < steps.size()) {
            const RunStep& step = steps[run.stepsDone];
            const auto at = run.out.find(step.when, searchFrom);
            if (at == std::string::npos)
                break;
            searchFrom = at + step.when.size();
            if (step.signal)
                ::kill(step.toGroup ? -pid : pid, step.signal);
            else {
                const std::string line = step.input + "\n";
                if (::write(input[1], line.data(), line.size()) < 0) {
                    // The tool no longer reads; its exit code tells the rest.
                }
            }
            ++run.stepsDone;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            run.out += "\n[killed after 120 s]\n";
            break;
        }
    }
    ::close(output[0]);
    ::close(input[1]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace tools_testing
