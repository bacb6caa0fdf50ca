#include "cli/batch/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/library_session.h"

namespace cli {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args)
{
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        throw CommandFailure(std::string("cannot make a pipe for a worker: ") + std::strerror(errno));
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const int saved = errno;
        ::close(input[0]);
        ::close(input[1]);
        throw CommandFailure(std::string("cannot make a pipe for a worker: ") + std::strerror(saved));
    }
    std::vector<char*> argv;
    std::string self = "orvane";
    argv.push_back(self.data());
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        // A worker whose parent is gone loses its output, never its disk:
        // a write to the closed pipe fails instead of ending it mid-write.
        ::signal(SIGPIPE, SIG_IGN);
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    const int saved = errno;
    ::close(input[0]);
    ::close(output[1]);
    in_ = input[1];
    out_ = output[0];
    if (pid_ < 0) {
        closeFd(in_);
        closeFd(out_);
        throw CommandFailure(std::string("cannot start a worker: ") + std::strerror(saved));
    }
}

ChildProcess::~ChildProcess()
{
    closeFd(in_);
    closeFd(out_);
    if (pid_ > 0 && !waited_) {
        ::kill(pid_, SIGTERM);
        wait();
    }
}

bool ChildProcess::readLines(std::vector<std::string>& lines)
{
    char buffer[4096];
    const ssize_t n = out_ < 0 ? 0 : ::read(out_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n > 0)
        partial_.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        lines.push_back(partial_.substr(0, end));
        partial_.erase(0, end + 1);
    }
    if (n > 0)
        return true;
    if (!partial_.empty())
        lines.push_back(std::exchange(partial_, {}));
    closeFd(out_);
    return false;
}

bool ChildProcess::tell(const std::string& line)
{
    const std::string text = line + "\n";
    if (in_ < 0)
        return false;
    // A worker that has ended must not take this process down with SIGPIPE.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const bool ok = ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::sigaction(SIGPIPE, &previous, nullptr);
    return ok;
}

void ChildProcess::signal(int number)
{
    if (pid_ > 0 && !waited_)
        ::kill(pid_, number);  // our own child, not yet reaped: the id is still its own
}

int ChildProcess::wait()
{
    if (waited_)
        return code_;
    int status = 0;
    pid_t got;
    do
        got = ::waitpid(pid_, &status, 0);
    while (got < 0 && errno == EINTR);
    waited_ = true;
    code_ = got < 0 ? 127 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    signal_ = got >= 0 && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return code_;
}

}  // namespace cli
