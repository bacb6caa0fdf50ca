// A damaged machine.json: every tool names the file and what is wrong with
// it, ends with a failure, and leaves the file as it found it.
#include <fstream>
#include <sstream>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::runTool;

class DamagedMachine : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        good_ = Read();
    }
    void TearDown() override
    {
        std::ofstream(dir_ / "machine.json", std::ios::trunc) << good_;  // the tear-down reads the machine
        TempMachine::TearDown();
    }
    std::string Read()
    {
        std::ifstream in(dir_ / "machine.json", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& text) { std::ofstream(dir_ / "machine.json", std::ios::trunc) << text; }
    std::string Replaced(const std::string& from, const std::string& to)
    {
        std::string text = good_;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    }
    std::string good_;
};

TEST_F(DamagedMachine, EveryToolNamesTheDamageAndChangesNothing)
{
    struct Damage {
        const char* what;
        std::string text;
        const char* named;
    };
    const std::vector<Damage> damages = {
        {"empty", "", "is not valid JSON"},
        {"cut short", good_.substr(0, good_.size() / 2), "is not valid JSON"},
        {"not an object", "[1, 2, 3]", "machine.json"},
        {"disk size not whole sectors", Replaced("\"size\": 8589934592", "\"size\": 8589934000"),
         "size must be a non-zero multiple of 512"},
        {"unknown format service", Replaced("\"format_service\": \"ok\"", "\"format_service\": \"sometimes\""),
         "format_service 'sometimes'"},
        {"number where text belongs", Replaced("\"format_service\": \"ok\"", "\"format_service\": 7"), "machine.json"},
    };
    for (const auto& d : damages) {
        Write(d.text);
        for (const auto& [tool, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
                 {"orvane", {"--machine", dir_.string(), "devices"}},
                 {"orvane", {"devices"}},  // named by KX_MACHINE alone
                 {"orvane-machine", {"--machine", dir_.string(), "list"}},
                 {"orvane-machine", {"--machine", dir_.string(), "set", "time_scale=1"}},
                 {"cmddev", {"restart", "USB\\VID_1209&PID_4F43"}}}) {
            const auto run = runTool(tool, args, "KX_MACHINE=" + dir_.string());
            EXPECT_NE(run.code, 0) << d.what << ": " << tool << " " << args.front();
            EXPECT_LT(run.code, 128) << d.what << ": " << tool << " crashed";
            EXPECT_NE(run.err.find(d.named), std::string::npos) << d.what << ": " << tool << "\n" << run.err;
            EXPECT_EQ(Read(), d.text) << d.what << ": " << tool << " changed the file";
        }
    }
}

}  // namespace
