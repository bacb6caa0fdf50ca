#include "cli/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "cli/command_line.h"
#include "cli/library_session.h"

namespace cli {

namespace {

constexpr std::size_t kMaxPassword = 64;

// Echo off for as long as it lives.
class NoEcho {
public:
    explicit NoEcho(int fd) : fd_(fd)
    {
        if (::tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        changed_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho()
    {
        if (changed_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    int fd_;
    termios saved_{};
    bool changed_ = false;
};

int descriptorOf(const std::string& text)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--password-fd takes a file descriptor number, not '" + text + "'");
    return std::stoi(text);
}

}  // namespace

PasswordInput::PasswordInput(const std::optional<std::string>& fdOption)
{
    fd_ = fdOption ? descriptorOf(*fdOption) : STDIN_FILENO;
    terminal_ = !fdOption && ::isatty(STDIN_FILENO);
}

// Byte by byte, so nothing after the line is taken from the descriptor;
// straight into the secret's own page, so no other buffer ever holds it.
Secret PasswordInput::readLine(const std::string& prompt, std::ostream& out)
{
    Secret secret;
    bool overflowed = false;
    {
        std::optional<NoEcho> quiet;
        if (terminal_) {
            out << prompt << ": " << std::flush;
            quiet.emplace(fd_);
        }
        char c = 0;
        bool any = false;
        while (::read(fd_, &c, 1) == 1) {
            any = true;
            if (c == '\n')
                break;
            overflowed = !secret.append(c) || overflowed;
        }
        c = 0;
        if (!any)
            throw CommandFailure(terminal_ ? "no password was typed"
                                           : "no password to read on file descriptor " + std::to_string(fd_));
    }
    if (!overflowed && secret.size() && secret.text().back() == '\r')
        secret.dropLast();
    if (overflowed || secret.size() == 0 || secret.size() > kMaxPassword)
        throw CommandFailure("a password takes 1 to " + std::to_string(kMaxPassword) + " bytes");
    return secret;
}

Secret PasswordInput::existing(const std::string& prompt, std::ostream& out)
{
    return readLine(prompt, out);
}

Secret PasswordInput::chosen(const std::string& prompt, std::ostream& out)
{
    Secret first = readLine(prompt, out);
    if (!terminal_)
        return first;
    const Secret again = readLine("Repeat it", out);
    if (first.text() != again.text())
        throw CommandFailure("the two passwords differ; nothing was changed");
    return first;
}

}  // namespace cli
