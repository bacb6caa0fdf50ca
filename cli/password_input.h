// Passwords for orvane private: typed at the terminal without echo, or read
// from a file descriptor a script hands over, one password a line. They are
// never echoed or printed, and wiped when no longer needed.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/secret.h"

namespace cli {

class PasswordInput {
public:
    // fdOption: the value of --password-fd, or none for the terminal.
    explicit PasswordInput(const std::optional<std::string>& fdOption);

    // An existing password; prompt shown on a terminal only.
    Secret existing(const std::string& prompt, std::ostream& out);
    // A new password: asked twice on a terminal, once from a descriptor.
    Secret chosen(const std::string& prompt, std::ostream& out);

private:
    Secret readLine(const std::string& prompt, std::ostream& out);
    int fd_ = 0;
    bool terminal_ = false;
};

}  // namespace cli
