// The language layer on an emulated machine: the files it writes into the
// shared templates folder (read back from the host as UTF-16LE), lookups,
// the remembered language and the code page conversions.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/disksetup/FormatDevice.h"
#include "app/core/language/LanguageGlobals.h"
#include "app/core/language/LanguageTable.h"
#include "app/core/language/PublicFunction.h"
#include "app/core/support/WideText.h"
#include "core_test_files.h"

namespace {

using namespace core_test;

// Host-side decoding, independent of the product's own reader.
std::u16string DecodeUtf16Le(const std::string& bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

std::vector<std::string> Lines(const std::string& utf8)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = utf8.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(utf8.substr(pos, end - pos));
    EXPECT_EQ(pos, utf8.size()) << "every line ends in CR LF";
    return lines;
}

class PublicFunctionTest : public testing_support::TempMachine {
protected:
    void TearDown() override
    {
        // The globals outlive the machine; later tests must start unselected.
        LanguageGlobals& globals = TheLanguageGlobals();
        {
            std::lock_guard guard(globals.lock);
            globals.g_szLanguagePath.clear();
            globals.languageList.clear();
            globals.dataFolder.clear();
        }
        TempMachine::TearDown();
    }

    CPublicFunction& pf() { return CPublicFunction::GetInstance(); }

    fs::path HostTemplates()
    {
        for (const char* dir : {"drive_c/ProgramData/Microsoft/Windows/Templates",
                                "drive_c/Documents and Settings/All Users/Templates"})
            if (fs::exists(dir_ / dir / "UpgradeLanguage"))
                return dir_ / dir;
        ADD_FAILURE() << "no language folder written";
        return {};
    }

    std::string HostLanguageFile(const char* name)
    {
        return ReadHostFile(HostTemplates() / "UpgradeLanguage" / name);
    }

    void WriteLanguageFile(const char* name, const std::u16string& text)
    {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        WriteHostFile(HostTemplates() / "UpgradeLanguage" / name, bytes);
    }
};

TEST_F(PublicFunctionTest, WritesThreeUtf16FilesWithEveryKeyInTableOrder)
{
    EXPECT_FALSE(pf().CreateMultiLanguage()) << "first run";
    const struct {
        const char* file;
        const char* language;
        const char* privateName;
    } files[] = {{"Multi_ch.ini", "Chinese", "简体中文"},
                 {"Multi_eng.ini", "English", "English"},
                 {"Multi_taiw.ini", "Traditional", "繁體中文"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        const std::string bytes = HostLanguageFile(f.file);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
        const std::vector<std::string> lines = Lines(WideToUtf8(DecodeUtf16Le(bytes.substr(2))));
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(lines[0], "[Setting]");
        EXPECT_EQ(lines[1], std::string("Language=") + f.language);
        EXPECT_EQ(lines[2], std::string("PRIVATENAME=") + f.privateName);
        std::vector<std::string> keys;
        size_t first = 0;
        while (first < lines.size() && lines[first] != "[String]")
            ++first;
        for (size_t i = first + 1; i < lines.size(); ++i)
            keys.push_back(lines[i].substr(0, lines[i].find('=')));
        // With Language and PRIVATENAME, the 91 fixed keys and our three texts.
        ASSERT_EQ(keys.size(), 95u);
        EXPECT_EQ(keys.front(), "IDD175_Title");
        EXPECT_EQ(keys[3], "IDOK_X");
        EXPECT_EQ(keys[4], "IDOK_Y");
        EXPECT_NE(std::find(keys.begin(), keys.end(), "IDC_STRING_DISK_BUSY"), keys.end());
        EXPECT_EQ(keys.back(), "IDC_STRING_PARTSIZE_PART_NAME");
        for (const LanguageText& text : LanguageTexts())
            EXPECT_NE(std::find(keys.begin(), keys.end(), text.key), keys.end()) << text.key;
    }
}

TEST_F(PublicFunctionTest, LooksUpTheValuesOfEachLanguage)
{
    pf().CreateMultiLanguage();
    const auto text = [&](const char16_t* key) { return WideToUtf8(pf().GetLanguageString(key)); };

    pf().LoadLanguage(u"English");
    EXPECT_EQ(text(u"IDD132_Title"), "Orvane Config");
    EXPECT_EQ(text(u"IDC_BTN_MAIN_SEARCH_X"), "34");
    // Stored quoted: the enclosing quotes go, the inner ones stay.
    EXPECT_EQ(text(u"IDC_STRING_SEARCH_TEXT_WARMING"),
              "Click \"Refresh\" button to search all USB removable hard drive. Select the hard drive and click "
              "\"Next\" button to upgrade.");
    EXPECT_EQ(text(u"IDC_STRING_UPGRADE_TEXT_WARMING"),
              "Please download the latest firmware from the official web. Select the device and click \"Upgrade\" "
              "button to  upgrade the firmware.");
    EXPECT_EQ(GetFormatPublicPartitionText(), u"Partition");

    pf().LoadLanguage(u"Chinese");
    EXPECT_EQ(text(u"IDOK"), "确 定");
    EXPECT_EQ(text(u"IDC_BTN_MAIN_SEARCH_X"), "32");
    EXPECT_EQ(text(u"IDD187_1047"), "进    度:");
    EXPECT_EQ(text(u"IDC_STRING_FORMAT_TEXT_WARMING"), "您可以拖动图中滑动条，方便调节分区大小.");
    EXPECT_EQ(text(u"IDC_STRING_SEARCH_TEXT_WARMING"),
              "点击\"刷新\"按钮可搜索PC上的移动存储设备,在设备列表框中选择需要升级的设备,点击\"下一步\"按钮。");
    EXPECT_EQ(WideToUtf8(GetFormatPublicPartitionText()), "分区");

    pf().LoadLanguage(u"Traditional");
    EXPECT_EQ(text(u"IDD187_Title"), "搜尋設備");
    EXPECT_EQ(text(u"IDC_STRING_FORMAT_CONFIRM_WARMING"),
              "您確定要升級當前設備嗎? 升級設備將使磁盤上的所有數據丟失!!!");
    EXPECT_EQ(WideToUtf8(GetFormatPublicPartitionText()), "分區");
    EXPECT_EQ(text(u"IDC_STRING_NO_SUCH_KEY"), "Not found");

    const std::vector<LanguageListEntry> list = pf().GetLanguageList();
    ASSERT_EQ(list.size(), 3u);
    std::vector<std::string> shown;
    for (const auto& entry : list)
        shown.push_back(WideToUtf8(entry.privateName));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"English", "简体中文", "繁體中文"}));
}

TEST_F(PublicFunctionTest, LookupTurnsBackslashNIntoLineBreaksAndMissesGiveNotFound)
{
    pf().CreateMultiLanguage();
    EXPECT_EQ(pf().GetLanguageString(u"IDOK"), u"Not found") << "nothing selected yet";
    WriteLanguageFile("Multi_test.ini", u"[Setting]\r\nLanguage=Test\r\nPRIVATENAME=Test\r\n[String]\r\n"
                                        u"TWO_LINES=A\\nB\r\nQUOTED=\"say \"hi\"\\n\"\r\nEMPTY=\r\n");
    pf().LoadLanguage(u"Test");
    EXPECT_EQ(pf().GetLanguageString(u"TWO_LINES"), u"A\nB");
    EXPECT_EQ(pf().GetLanguageString(u"QUOTED"), u"say \"hi\"\n");
    EXPECT_EQ(pf().GetLanguageString(u"EMPTY"), u"");
    EXPECT_EQ(pf().GetLanguageString(u"MISSING"), u"Not found");

    // A name without a file keeps the previous selection.
    pf().LoadLanguage(u"Klingon");
    EXPECT_EQ(pf().GetLanguageString(u"TWO_LINES"), u"A\nB");
}

TEST_F(PublicFunctionTest, RemembersTheChosenLanguageInSettingTxt)
{
    EXPECT_FALSE(pf().CreateMultiLanguage());
    // First-run content is UTF-16 "English", which the ANSI reader does not see as such.
    EXPECT_EQ(ReadHostFile(HostTemplates() / "setting.txt"), std::string("\xFF\xFE" "E\0n\0g\0l\0i\0s\0h\0", 16));
    EXPECT_NE(pf().ReadSettingLanguage(), u"English");

    pf().LoadLanguage(u"Traditional");
    EXPECT_EQ(ReadHostFile(HostTemplates() / "setting.txt"), "Traditional");
    EXPECT_EQ(pf().GetCurrentLanguage(), u"Traditional");

    // A later start keeps setting.txt and loads the remembered language.
    EXPECT_TRUE(pf().CreateMultiLanguage());
    pf().LoadLanguage(u"");
    EXPECT_EQ(WideToUtf8(pf().GetLanguageString(u"IDD102_Title")), "升級");
    EXPECT_EQ(ReadHostFile(HostTemplates() / "setting.txt"), "Traditional");
}

TEST_F(PublicFunctionTest, RestartOverwritesAnEditedLanguageFile)
{
    pf().CreateMultiLanguage();
    const std::string original = HostLanguageFile("Multi_eng.ini");
    WriteHostFile(HostTemplates() / "UpgradeLanguage" / "Multi_eng.ini", "edited");
    EXPECT_TRUE(pf().CreateMultiLanguage());
    EXPECT_EQ(HostLanguageFile("Multi_eng.ini"), original);
}

TEST_F(PublicFunctionTest, DetectsTheSystemLanguage)
{
    const struct {
        const char* langId;
        int expected;
    } cases[] = {{"zh-CN", 1}, {"zh-HK", 1}, {"zh-TW", 2}, {"en-US", 0}, {"0x1004", 1}, {"0x0411", 0}};
    for (const auto& c : cases) {
        machine::setSetting(m(), "lang_id", c.langId);
        EXPECT_EQ(pf().DetectSystemLanguage(), c.expected) << c.langId;
    }
}

TEST_F(PublicFunctionTest, ConvertsBetweenWideAndTheChineseCodePages)
{
    machine::setSetting(m(), "lang_id", "zh-CN");
    machine::setSetting(m(), "oemcp", "936");
    const auto oem = pf().WideToOem(u"分区-1");
    EXPECT_STREQ(oem.get(), "\xB7\xD6\xC7\xF8-1");  // GBK bytes
    EXPECT_EQ(pf().AnsiToWide("\xB7\xD6\xC7\xF8"), u"分区");
    EXPECT_EQ(pf().AnsiToWide(""), u"");
    EXPECT_STREQ(pf().WideToOem(u"").get(), "");
}

}  // namespace
