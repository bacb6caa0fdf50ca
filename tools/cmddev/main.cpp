// cmddev: the device console tool the application runs to remove or
// restart a USB device, acting on the emulated machine.
#include <cctype>
#include <iostream>

#include "device_action.h"

namespace {

const char* const kUsage =
    "Usage: cmddev remove HWID [HWID ...]\n"
    "       cmddev restart HWID [HWID ...]\n"
    "       cmddev help\n"
    "\n"
    "Removes or restarts every USB device whose hardware id is HWID, for\n"
    "example \"USB\\VID_1209&PID_4F43\" (any case). Acts on the machine named\n"
    "by KX_MACHINE, else on the default machine.\n"
    "\n"
    "Exit status: 0 done, 1 bad command line, 2 no device matched or the\n"
    "machine failed.\n";

std::string lower(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Command lines that reach us unsplit keep their quotes around the id.
std::string unquote(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

int usageError(const std::string& why)
{
    std::cerr << "cmddev: " << why << "\n" << kUsage;
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usageError("no command given");
    const std::string command = lower(argv[1]);
    if (command == "help" || command == "-h" || command == "--help" || command == "/?") {
        std::cout << kUsage;
        return 0;
    }
    if (command != "remove" && command != "restart")
        return usageError("unknown command '" + std::string(argv[1]) + "'");
    std::vector<std::string> ids;
    for (int i = 2; i < argc; ++i)
        if (!unquote(argv[i]).empty())
            ids.push_back(unquote(argv[i]));
    if (ids.empty())
        return usageError(command + " needs a hardware id");

    const auto action = command == "remove" ? cmddev::Action::Remove : cmddev::Action::Restart;
    try {
        const cmddev::Outcome outcome = cmddev::act(*machine::current(), action, ids);
        std::cout << cmddev::report(action, outcome);
        return outcome.count == 0 ? 2 : 0;
    } catch (const std::exception& e) {
        std::cerr << "cmddev: " << e.what() << "\n";
        return 2;
    }
}
