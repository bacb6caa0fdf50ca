// The README's examples typed top to bottom in one shell, as a newcomer in
// the top folder would, on a default machine made fresh on first use: each
// command that can run here must exit 0, or fail where the README says so.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/machine.h"
#include "readme_commands.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A user's PATH on Debian has no sbin folders; the examples must not need
// root's.
std::string userPath()
{
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    std::string out;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string dir = path.substr(start, end - start);
        start = end + 1;
        if (dir.empty() || fs::path(dir).filename() == "sbin")
            continue;
        out += (out.empty() ? "" : ":") + dir;
    }
    return out;
}

class ReadmeWalkthrough : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "orvane-readme-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        for (const char* sub : {"home", "data", "work", "tmp"})
            fs::create_directories(dir_ / sub);
        // The default machine goes under data/, never the user's own; what
        // the commands make with mktemp stays in tmp/.
        std::ofstream(state()) << "export HOME=" << quoted((dir_ / "home").string())
                               << " XDG_DATA_HOME=" << quoted((dir_ / "data").string())
                               << " TMPDIR=" << quoted((dir_ / "tmp").string())
                               << " PATH=" << quoted(userPath()) << "\nunset KX_MACHINE\n";
    }

    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path state() const { return dir_ / "state.sh"; }

    // One command in the work folder, with what the commands before it
    // exported (the README's `export KX_MACHINE=...`).
    int run(const std::string& command, std::string* output)
    {
        const fs::path script = dir_ / "command.sh";
        std::ofstream(script) << "set -o pipefail\ncd " << quoted((dir_ / "work").string()) << " || exit 99\n. "
                              << quoted(state().string()) << "\n"
                              << command << "\nstatus=$?\nexport -p > " << quoted(state().string())
                              << "\nexit $status\n";
        return testing_support::runCommand("bash " + quoted(script.string()) + " </dev/null", output);
    }

    fs::path dir_;
};

TEST_F(ReadmeWalkthrough, ExamplesRunTopToBottomOnOneFreshMachine)
{
    std::ifstream readme(ORVANE_README);
    ASSERT_TRUE(readme) << ORVANE_README;
    int ran = 0, skipped = 0;
    for (const auto& command : readme::exampleCommands(readme)) {
        const std::string where = "README.md:" + std::to_string(command.line) + ": " + command.text;
        const readme::Verdict verdict = readme::classify(command.text);
        if (verdict.kind == readme::Verdict::Kind::skip) {
            std::cout << "skipped, " << verdict.skipReason << ": " << where << "\n";
            ++skipped;
            continue;
        }
        std::string out;
        const int code = run(readme::rewritePaths(command.text, testing_support::buildDir(), dir_.string()), &out);
        std::cout << "ran: " << where << "\n";
        ++ran;
        if (verdict.kind == readme::Verdict::Kind::fails) {
            ASSERT_NE(code, 0) << where << "\nsucceeded, yet the README says it fails:\n" << out;
            ASSERT_NE(out.find(verdict.failText), std::string::npos)
                << where << "\ndoes not say \"" << verdict.failText << "\":\n" << out;
        } else {
            ASSERT_EQ(code, 0) << where << "\n" << out;
        }
    }
    // Most lines are commands to type: a rule that skips them wholesale
    // must not pass unnoticed.
    EXPECT_GT(ran, skipped);

    // No machine the examples used, the default one included, had its
    // system disk written.
    std::vector<fs::path> machines;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
        if (entry.path().filename() == "machine.json")
            machines.push_back(entry.path().parent_path());
    EXPECT_TRUE(std::count(machines.begin(), machines.end(), dir_ / "data" / "orvane-config" / "machine"));
    machine::Machine::create(dir_ / "reference");
    const std::string untouched = testing_support::fingerprintFile(dir_ / "reference" / "disk0.img");
    for (const fs::path& used : machines)
        EXPECT_EQ(testing_support::fingerprintFile(used / "disk0.img"), untouched) << used;
}

}  // namespace
