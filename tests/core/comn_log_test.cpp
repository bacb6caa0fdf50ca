#include <unistd.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/log/ComnLog.h"
#include "app/core/log/DayLogFiles.h"
#include "app/core/log/LocalClock.h"
#include "core_test_files.h"
#include "platform/win_api.h"

namespace {

using namespace core_test;

constexpr LocalDateTime kToday{2024, 3, 20, 9, 5, 7, 42};

class ComnLogTest : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        folder_ = dir_.parent_path() / "logs";
        fs::create_directories(folder_);
        SetLocalDateTimeSource([this] { return now_; });
    }
    void TearDown() override
    {
        CComnLog::GetInstance().Init(false, u"");
        SetLocalDateTimeSource({});
        TempMachine::TearDown();
    }
    void Touch(const std::string& name) { WriteHostFile(folder_ / name, "old"); }
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder_))
            names.insert(e.path().filename().string());
        return names;
    }
    fs::path TodayFile() const { return folder_ / "2024-03-20_upgrade.txt"; }

    fs::path folder_;
    LocalDateTime now_ = kToday;
};

TEST_F(ComnLogTest, PruningKeepsOnlyThisMonthsLastSevenDays)
{
    for (const char* name : {"2024-03-12_upgrade.txt", "2024-03-13_upgrade.txt", "2024-03-20_upgrade.txt",
                             "2024-03-28_upgrade.txt", "2024-3-5_upgrade.txt", "2024-02-20_upgrade.txt",
                             "2023-03-20_upgrade.txt", "x-1-1_upgrade.txt", "notes_upgrade.txt",
                             "2024-03_upgrade.txt", "2024-03-01.txt", "2024-03-01_UPGRADE.TXT"})
        Touch(name);
    fs::create_directory(folder_ / "2020-01-05_upgrade.txt");  // folders are never pruned

    CComnLog::GetInstance().Init(true, Wide(folder_));

    EXPECT_EQ(Names(), (std::set<std::string>{"2024-03-13_upgrade.txt", "2024-03-20_upgrade.txt",
                                              "2024-03-28_upgrade.txt", "notes_upgrade.txt", "2024-03_upgrade.txt",
                                              "2024-03-01.txt", "2024-03-01_UPGRADE.TXT",
                                              "2020-01-05_upgrade.txt"}));
}

TEST_F(ComnLogTest, StaleRuleAtMonthStartAndWithOddNumbers)
{
    const LocalDateTime first{2024, 1, 1};
    EXPECT_FALSE(IsStaleDayLogName(u"2024-01-01_upgrade.txt", first));
    EXPECT_TRUE(IsStaleDayLogName(u"2023-12-31_upgrade.txt", first));
    EXPECT_FALSE(IsStaleDayLogName(u"2024-1-x_upgrade.txt", first));  // day 0 is one day back
    EXPECT_TRUE(IsStaleDayLogName(u"2024-01--99999999999999999999_upgrade.txt", first));
    EXPECT_FALSE(IsStaleDayLogName(u"2024-01-99999999999999999999_upgrade.txt", first));
    EXPECT_EQ(DayLogFileName(LocalDateTime{2024, 3, 5}), u"2024-03-05_upgrade.txt");
}

TEST_F(ComnLogTest, SwitchedOffWritesNothingButStillPrunes)
{
    Touch("2020-01-05_upgrade.txt");
    CComnLog& log = CComnLog::GetInstance();
    log.Init(false, Wide(folder_));

    EXPECT_TRUE(log.WriteLog("not written"));
    COMN_LOG("%s : %s : %d not written either");
    EXPECT_TRUE(Names().empty());
}

// A listed name is never a path: a file whose name holds backslashes, next
// to a folder of the name's first part, would lead the delete out of the log
// folder to another user's file. Only plain names in the folder are pruned,
// with the log on or off.
TEST_F(ComnLogTest, PruningDeletesOnlyPlainNamesInItsOwnFolder)
{
    const fs::path outside = folder_.parent_path() / "x";
    fs::create_directories(outside);
    const fs::path victim = outside / "victim.txt";
    const fs::path linked = outside / "linked.txt";
    for (const bool enabled : {false, true}) {
        for (const fs::path& file : {victim, linked}) {
            WriteHostFile(file, "someone else's");
            ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        }
        fs::create_directories(folder_ / "2000-_upgrade.txt");
        const std::string escaping = "2000-_upgrade.txt\\..\\..\\x\\victim.txt";
        Touch(escaping);
        Touch("2000-01-01_upgrade.txt");
        fs::create_symlink(linked, folder_ / "2001-01-01_upgrade.txt");

        CComnLog::GetInstance().Init(enabled, Wide(folder_));

        EXPECT_EQ(ReadHostFile(victim), "someone else's") << enabled;
        EXPECT_EQ(ReadHostFile(linked), "someone else's") << enabled;
        EXPECT_EQ(Names(), (std::set<std::string>{"2000-_upgrade.txt", escaping})) << enabled;
        fs::remove(folder_ / escaping);
    }
    EXPECT_TRUE(IsPlainFileName(u"2000-01-01_upgrade.txt"));
    for (const std::u16string name : {u"", u".", u"..", u"a\\b", u"a/b", u"..\\2000-01-01_upgrade.txt"})
        EXPECT_FALSE(IsPlainFileName(name));
    EXPECT_FALSE(IsPlainFileName(std::u16string(259, u'a')));  // the listing may have cut it
}

TEST_F(ComnLogTest, LinesAreStampedAppendedAndWrittenInTextMode)
{
    WriteHostFile(TodayFile(), "earlier line\r\n");
    CComnLog& log = CComnLog::GetInstance();
    log.Init(true, Wide(folder_));

    EXPECT_TRUE(log.WriteLog("first"));
    now_.millisecond = 999;
    EXPECT_TRUE(log.WriteLog("two\nparts 中文"));

    EXPECT_EQ(ReadHostFile(TodayFile()), "earlier line\r\n"
                                         "2024-03-20 09:05:07_042 first\r\n"
                                         "2024-03-20 09:05:07_999 two\r\nparts 中文\r\n");
}

TEST_F(ComnLogTest, FileIsFixedAtStartEvenAfterMidnight)
{
    CComnLog& log = CComnLog::GetInstance();
    log.Init(true, Wide(folder_));
    now_ = LocalDateTime{2024, 3, 21, 0, 0, 1, 0};
    EXPECT_TRUE(log.WriteLog("after midnight"));
    EXPECT_EQ(Names(), std::set<std::string>{"2024-03-20_upgrade.txt"});
    EXPECT_NE(ReadHostFile(TodayFile()).find("2024-03-21 00:00:01_000 after midnight"), std::string::npos);
}

TEST_F(ComnLogTest, MacroPrefixesFileFunctionAndLine)
{
    CComnLog::GetInstance().Init(true, Wide(folder_));
    const int line = __LINE__ + 1;
    COMN_LOG("%s : %s : %d value:%d", 12);
    const std::string expected = "tests/core/comn_log_test.cpp : ComnLogTest_MacroPrefixesFileFunctionAndLine_Test::TestBody : " +
                                 std::to_string(line) + " value:12\r\n";
    EXPECT_EQ(ReadHostFile(TodayFile()), "2024-03-20 09:05:07_042 " + expected);
}

TEST(LogFunctionNameTest, NamesFromEitherCompilersUnnamedNamespaceTag)
{
    // clang's tag holds a parenthesis, which once cut the name down to nothing.
    EXPECT_EQ(LogFunctionName("virtual void (anonymous namespace)::Worker::Run(int)"), "Worker::Run");
    EXPECT_EQ(LogFunctionName("void {anonymous}::Helper(const char*)"), "Helper");
    EXPECT_EQ(LogFunctionName("static int CComnLog::Count()"), "CComnLog::Count");
}

TEST_F(ComnLogTest, AFileThatCannotBeOpenedDropsTheLine)
{
    CComnLog& log = CComnLog::GetInstance();
    log.Init(true, Wide(folder_));
    // Another writer holding the day file exclusively.
    const std::u16string path = log.GetLogFilePath();
    win::HANDLE holder = win::CreateFileW(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::OPEN_ALWAYS,
                                          win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(log.WriteLog("dropped"));
    EXPECT_NE(log.GetLastFileError().find("error 32"), std::string::npos) << log.GetLastFileError();
    win::CloseHandle(holder);
    EXPECT_TRUE(log.WriteLog("kept"));
    EXPECT_EQ(ReadHostFile(TodayFile()), "2024-03-20 09:05:07_042 kept\r\n");

    log.Init(true, Wide(folder_ / "missing"));
    EXPECT_FALSE(log.WriteLog("no folder"));
}

TEST_F(ComnLogTest, ConcurrentWritersNeverMixLines)
{
    CComnLog& log = CComnLog::GetInstance();
    log.Init(true, Wide(folder_));
    constexpr int kThreads = 4, kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            const std::string text = std::string(200, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                EXPECT_TRUE(log.WriteLog(text));
        });
    for (auto& th : threads)
        th.join();

    const std::string content = ReadHostFile(TodayFile());
    const std::regex line("2024-03-20 09:05:07_042 (a{200}|b{200}|c{200}|d{200})\r\n");
    auto begin = std::sregex_iterator(content.begin(), content.end(), line);
    EXPECT_EQ(std::distance(begin, std::sregex_iterator()), kThreads * kLines);
    EXPECT_EQ(content.size(), static_cast<size_t>(kThreads * kLines) * (24 + 200 + 2));
}

}  // namespace
