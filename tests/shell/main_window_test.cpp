// The main window: page codes, the exit check, the message box rule and the
// language switch.
#include <QLabel>

#include "app/core/jobs/SelectedDevice.h"
#include "app/core/jobs/WorkerMessages.h"
#include "app/pages/DeviceFormatDlg.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/pages/TavrinDlg.h"
#include "app/shell/MainDlg.h"
#include "app/ui/LanguageText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CFlatEdit.h"
#include "app/widgets/CKelvarComboBox.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/WindowMessage.h"
#include "app_fixture.h"

namespace {

using app_testing::AppMachine;
using app_testing::WaitFor;

class MainWindowTest : public AppMachine {
protected:
    void SetUp() override
    {
        AppMachine::SetUp();
        OpenWindow();
    }

    void SendPageState(int page, int activity)
    {
        EXPECT_EQ(SendWindowMessage(window_.get(), WM_PAGE_STATE, page, activity), 0);
    }
    // Firmware, disk set, search: which are enabled.
    std::string EnabledButtons() const
    {
        std::string out;
        for (auto* b : {window_->FirmwareButton(), window_->DiskSetButton(), window_->SearchButton()})
            out += b->isEnabled() ? '1' : '0';
        return out;
    }
    QString LabelText(QWidget* parent, int id) const
    {
        const auto* label = qobject_cast<QLabel*>(ChildById(parent, id));
        return label ? label->text() : QStringLiteral("<no label %1>").arg(id);
    }

};

TEST_F(MainWindowTest, PageCodesShowOnePageAndDisableItsButton)
{
    SendPageState(1, 1);
    EXPECT_TRUE(window_->FirmwarePage()->isVisible());
    EXPECT_FALSE(window_->SearchPage()->isVisible());
    EXPECT_EQ(EnabledButtons(), "011");

    SendPageState(2, 1);
    EXPECT_TRUE(window_->DiskSetupPage()->isVisible());
    EXPECT_FALSE(window_->FirmwarePage()->isVisible());
    EXPECT_EQ(EnabledButtons(), "101");

    // Code 3 locks the buttons and leaves the page as it was.
    SendPageState(3, 2);
    EXPECT_TRUE(window_->DiskSetupPage()->isVisible());
    EXPECT_EQ(EnabledButtons(), "000");
    EXPECT_EQ(window_->ActivityState(), 2);

    SendPageState(4, 1);
    EXPECT_TRUE(window_->SearchPage()->isVisible());
    EXPECT_FALSE(window_->DiskSetupPage()->isVisible());
    EXPECT_EQ(EnabledButtons(), "110");
    EXPECT_EQ(window_->ActivityState(), 1);
    // The disk set button never shows.
    EXPECT_FALSE(window_->DiskSetButton()->isVisible());
}

TEST_F(MainWindowTest, FirmwareWithoutDeviceWarnsAndStaysOnSearch)
{
    // A blank appliance disk is listed under its bare name and selected; take
    // the selection away as a refresh that finds nothing would.
    SetSelectedDevice(nullptr);
    AnswerBoxesWith(1);
    SendPageState(1, 1);
    window_->OnFirmwareClicked();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Select Device!"));
    EXPECT_EQ(boxes_[0].type, 2);
    EXPECT_TRUE(window_->SearchPage()->isVisible());
}

TEST_F(MainWindowTest, ExitCheckAsksOnlyDuringUpgradeOrFormat)
{
    struct Case {
        int activity;
        int answer;
        const char* question;  // null: no box
        bool closes;
    };
    const QString upgrade = LanguageText("IDC_STRING_MAIN_EXIT_UPGRADE_SAFE");
    const QString format = LanguageText("IDC_STRING_MAIN_EXIT_FORMAT_SAFE");
    ASSERT_TRUE(upgrade.startsWith(QStringLiteral("Device is being upgraded. If you quit, the upgrade stops")));
    const Case cases[] = {{1, 1, nullptr, true}, {4, 2, nullptr, true}, {2, 2, "upgrade", false},
                          {2, 1, "upgrade", true}, {3, 2, "format", false}, {3, 1, "format", true},
                          {3, -1, "format", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "activity " << c.activity << " answer " << c.answer);
        boxes_.clear();
        AnswerBoxesWith(c.answer);
        window_->show();
        SendPageState(c.activity == 1 ? 4 : 3, c.activity);
        QTest::mouseClick(window_->CloseButton(), Qt::LeftButton);
        if (c.question) {
            ASSERT_EQ(boxes_.size(), 1u);
            EXPECT_EQ(boxes_[0].text, QString(c.question) == "upgrade" ? upgrade : format);
            EXPECT_EQ(boxes_[0].type, 3);
        } else {
            EXPECT_TRUE(boxes_.empty());
        }
        EXPECT_EQ(window_->isVisible(), !c.closes);
    }
}

TEST_F(MainWindowTest, EscapeAndTheWindowManagersCloseAskTheSameQuestion)
{
    const QString question = LanguageText("IDC_STRING_MAIN_EXIT_UPGRADE_SAFE");
    QWidget* pathEdit = window_->FirmwarePage()->PathEdit();
    const std::function<void()> ways[] = {
        [&] { QTest::keyClick(window_.get(), Qt::Key_Escape); },
        [&] { QTest::keyClick(pathEdit, Qt::Key_Escape); },  // stays enabled while busy
        [&] { window_->close(); },
        [&] { QTest::mouseClick(window_->CloseButton(), Qt::LeftButton); },
    };
    window_->show();
    window_->OnFirmwareClicked();
    SendPageState(3, 2);
    for (size_t way = 0; way < std::size(ways); ++way) {
        SCOPED_TRACE(way);
        boxes_.clear();
        AnswerBoxesWith(2);
        ways[way]();
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text, question);
        EXPECT_TRUE(window_->isVisible());
    }
    // Idle, every way closes without a question.
    for (size_t way = 0; way < std::size(ways); ++way) {
        SCOPED_TRACE(way);
        boxes_.clear();
        window_->show();
        window_->OnFirmwareClicked();
        SendPageState(1, 1);
        ways[way]();
        EXPECT_TRUE(boxes_.empty());
        EXPECT_FALSE(window_->isVisible());
    }
}

TEST_F(MainWindowTest, SecondBoxWithTheSameTitleIsNotShown)
{
    CMessageDlg open(QStringLiteral("first"), 2);
    open.show();
    bool asked = false;
    SetMessageAnswerer([&](CMessageDlg&) {
        asked = true;
        return 1;
    });
    EXPECT_EQ(ShowMessage(QStringLiteral("second"), 1), -1);
    EXPECT_FALSE(asked);
    open.hide();
    EXPECT_EQ(ShowMessage(QStringLiteral("second"), 1), 1);
    EXPECT_TRUE(asked);
}

TEST_F(MainWindowTest, MessageBoxIgnoresEnterAndEscapeAndAnswersByButton)
{
    CMessageDlg question(QStringLiteral("sure?"), 3);
    question.show();
    QTest::keyClick(&question, Qt::Key_Return);
    QTest::keyClick(&question, Qt::Key_Escape);
    EXPECT_TRUE(question.isVisible());
    EXPECT_TRUE(question.CancelButton()->isVisible());
    QTest::mouseClick(question.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(question.result(), 2);

    CMessageDlg notice(QStringLiteral("done"), 2);
    notice.show();
    EXPECT_FALSE(notice.CancelButton()->isVisible());
    EXPECT_EQ(notice.OkButton()->geometry(), QRect(111, 98, 79, 23));
    QTest::mouseClick(notice.CloseButton(), Qt::LeftButton);
    EXPECT_EQ(notice.result(), 2);

    // Closed by the window manager: Cancel, as the close button answers.
    CMessageDlg closed(QStringLiteral("sure?"), 3);
    closed.show();
    EXPECT_TRUE(closed.close());
    EXPECT_EQ(closed.result(), 2);
}

TEST_F(MainWindowTest, LanguageSwitchRewritesTheSettingAndRelabelsEveryPage)
{
    const auto setting = TemplatesFolder() / "setting.txt";
    EXPECT_EQ(ReadFile(setting), "English");
    EXPECT_EQ(window_->SearchButton()->caption(), QStringLiteral("Search"));

    CKelvarComboBox* combo = window_->LanguageCombo();
    ASSERT_EQ(combo->count(), 3);
    const int chinese = combo->findText(QStringLiteral("简体中文"));
    ASSERT_GE(chinese, 0);
    combo->setCurrentIndex(chinese);
    emit combo->activated(chinese);

    EXPECT_EQ(ReadFile(setting), "Chinese");
    EXPECT_EQ(window_->CurrentLanguageName(), QStringLiteral("简体中文"));
    EXPECT_EQ(window_->SearchButton()->caption(), QStringLiteral("搜索设备"));
    EXPECT_EQ(window_->FirmwareButton()->caption(), QStringLiteral("固件更新"));
    EXPECT_EQ(window_->SearchButton()->captionOffset(), QPoint(32, 9));
    EXPECT_EQ(LabelText(window_.get(), 1050), QStringLiteral("选择语言"));
    EXPECT_EQ(LabelText(window_.get(), 1039), QStringLiteral("升级工具"));
    EXPECT_EQ(LabelText(window_->SearchPage(), 1046), QStringLiteral("设备列表:"));
    EXPECT_TRUE(LabelText(window_->SearchPage(), 1049).startsWith(QStringLiteral("点击\"刷新\"按钮")));
    EXPECT_EQ(LabelText(window_->FirmwarePage(), 1009), QStringLiteral("固件路径:"));

    // Picking the language in use again changes nothing, not even the file.
    std::filesystem::remove(setting);
    emit combo->activated(chinese);
    EXPECT_FALSE(std::filesystem::exists(setting));
}

class FirstStartTest : public AppMachine {};

TEST_F(FirstStartTest, TraditionalChineseSystemStartsInTraditionalChinese)
{
    machine::setSetting(m(), "lang_id", "0x0404");
    StartApp();
    CMainDlg window;
    EXPECT_EQ(window.LanguageCombo()->currentText(), QStringLiteral("繁體中文"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("升級工具"));
    EXPECT_EQ(window.SearchButton()->caption(), QStringLiteral("搜索設備"));
    EXPECT_EQ(ReadFile(TemplatesFolder() / "setting.txt"), "Traditional");
}

TEST_F(FirstStartTest, LaterStartKeepsTheRememberedLanguage)
{
    machine::setSetting(m(), "lang_id", "0x0804");
    StartApp();
    app_->ExitInstance();
    // The system language no longer decides once a choice is stored.
    machine::setSetting(m(), "lang_id", "0x0409");
    StartApp();
    CMainDlg window;
    EXPECT_EQ(window.LanguageCombo()->currentText(), QStringLiteral("简体中文"));
}

}  // namespace
