// Shared set-up of the library tests: a fresh machine, the library's
// process-wide state cleared, and a log folder of the test's own.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kx/kx.h"
#include "support/temp_machine.h"
// Internal seams, not part of the public header.
#include "common/kx_log.h"
#include "common/kx_os.h"

namespace kx_test {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// True when some line is head, a source line number, then tail: the line
// numbers in messages are not fixed.
inline bool hasLocatedLine(const std::string& log, const std::string& head, const std::string& tail)
{
    for (const std::string& line : linesOf(log)) {
        if (line.size() <= head.size() + tail.size() || line.compare(0, head.size(), head) != 0 ||
            line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        const std::string number = line.substr(head.size(), line.size() - head.size() - tail.size());
        if (number.find_first_not_of("0123456789") == std::string::npos)
            return true;
    }
    return false;
}

class KxTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        kx::resetLogForTests();
        kx::resetOsForTests();
        logDir_ = dir_.parent_path() / "log";
        fs::create_directories(logDir_);
    }

    void TearDown() override
    {
        kx::resetLogForTests();
        TempMachine::TearDown();
    }

    void startLog() { ASSERT_EQ(kx_log_init(logDir_.c_str()), 1); }
    fs::path logFile() const { return logDir_ / "kxlog.txt"; }
    std::string logText() const { return readFile(logFile()); }

    fs::path logDir_;
};

}  // namespace kx_test
