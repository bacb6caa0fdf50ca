#include "format_command.h"

#include <cctype>
#include <cstdio>
#include <iostream>

#include "platform/win_api.h"

namespace orvane_cmd {

namespace {

std::string lower(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// 4096, 4K or 64k.
bool parseClusterSize(const std::string& text, std::uint32_t* size)
{
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used);
    } catch (const std::exception&) {
        return false;
    }
    if (used + 1 == text.size() && (text[used] == 'k' || text[used] == 'K'))
        value *= 1024;
    else if (used != text.size())
        return false;
    if (value == 0 || value > (2u << 20))
        return false;
    *size = static_cast<std::uint32_t>(value);
    return true;
}

std::string gigabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (1ull << 30));
    return text;
}

bool askToProceed()
{
    std::cout << "Proceed with Format (Y/N)? " << std::flush;
    std::string answer;
    return std::getline(std::cin, answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

void reportSpace(char letter)
{
    const std::string root = std::string(1, letter) + ":\\";
    win::ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (win::GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree))
        std::cout << "    " << gigabytes(total.QuadPart) << " total disk space.\n"
                  << "    " << gigabytes(totalFree.QuadPart) << " are available.\n";
}

}  // namespace

bool parseFormat(const std::vector<std::string>& words, FormatOptions* options, std::string* why)
{
    auto& r = options->request;
    r.quick = false;  // full unless /q
    for (const auto& word : words) {
        const std::string w = lower(word);
        if (w.size() == 2 && w[1] == ':' && std::isalpha(static_cast<unsigned char>(w[0]))) {
            if (r.letter) {
                *why = "Invalid parameter - " + word;
                return false;
            }
            r.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        } else if (w.rfind("/fs:", 0) == 0) {
            auto kind = machine::fileSystemNamed(w.substr(4));
            if (!kind) {
                *why = "The " + word.substr(4) + " file system is not supported (NTFS, FAT, FAT32).";
                return false;
            }
            r.fileSystem = *kind;
        } else if (w.rfind("/v:", 0) == 0) {
            r.label = word.substr(3);
        } else if (w.rfind("/a:", 0) == 0) {
            if (!parseClusterSize(word.substr(3), &r.clusterSize)) {
                *why = "Invalid parameter - " + word;
                return false;
            }
        } else if (w == "/q") {
            r.quick = true;
        } else if (w == "/y") {
            options->confirmed = true;
        } else if (w == "/x") {
            // Forcing a dismount is what every format here does.
        } else {
            *why = "Invalid parameter - " + word;
            return false;
        }
    }
    if (!r.letter) {
        *why = "Required parameter missing - drive letter";
        return false;
    }
    if (auto problem = machine::labelProblem(r.fileSystem, r.label)) {
        *why = "The volume label '" + r.label + "' is not valid: " + *problem + ".";
        return false;
    }
    return true;
}

int runFormat(const std::vector<std::string>& words)
{
    FormatOptions options;
    std::string why;
    if (!parseFormat(words, &options, &why)) {
        std::cerr << why << "\n";
        return kFormatBadParameter;
    }
    const auto& r = options.request;
    if (!options.confirmed) {
        std::cout << "WARNING, ALL DATA ON NON-REMOVABLE DISK\nDRIVE " << r.letter << ": WILL BE LOST!\n";
        if (!askToProceed())
            return kFormatDeclined;
    }
    std::cout << "The new file system is " << machine::fileSystemName(r.fileSystem) << ".\n" << std::flush;
    machine::FormatOutcome outcome;
    try {
        outcome = machine::formatVolume(*machine::current(), r, [](int percent) {
            std::cout << "\r" << percent << " percent completed." << std::flush;
            return true;
        });
    } catch (const std::exception& e) {
        outcome = {machine::FormatFailure::IoFailed, e.what()};
    }
    if (!outcome.ok()) {
        std::cout << "\n";
        std::cerr << "Format failed: " << outcome.message << "\n";
        return kFormatFailed;
    }
    std::cout << "\nFormat complete.\n";
    reportSpace(r.letter);
    return kFormatDone;
}

}  // namespace orvane_cmd
