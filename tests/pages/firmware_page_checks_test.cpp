// The firmware page's checks before anything is asked or written, the image
// path it offers by itself and the file dialogs behind their seam.
#include <QDialog>
#include <QDir>

#include "app/core/jobs/WorkerMessages.h"
#include "firmware_page_fixture.h"

namespace {

using namespace firmware_page;

class FirmwarePageChecks : public FirmwarePageTest {};

TEST_F(FirmwarePageChecks, EachCheckStopsWithItsNoticeBeforeAnyQuestion)
{
    OpenPage();
    const fs::path image = MakeImage();
    fs::create_directory(Work() / "folder.bin");
    const std::string print = DiskPrint(1);
    const struct {
        fs::path path;
        bool deviceSelected;
        const char* key;
    } cases[] = {
        {"", true, "IDC_STRING_UPGRADE_SELECT_FILE_WARMING"},
        {Work() / "missing.bin", true, "IDC_STRING_UPGRADE_SELECT_FILE_EXIST_WARMING"},
        {Work() / "folder.bin", true, "IDC_STRING_UPGRADE_SELECT_FILE_EXIST_WARMING"},
        {image, false, "IDC_STRING_UPGRADE_SELECT_DEVICE_WARMING"},
    };
    kx_device* device = GetSelectedDevice();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        shown_.clear();
        SetSelectedDevice(c.deviceSelected ? device : nullptr);
        ClickUpgrade(c.path);
        EXPECT_EQ(shown_, (Boxes{{Text(c.key), kNotice}}));
        EXPECT_FALSE(page()->IsBusy());
        EXPECT_EQ(window_->ActivityState(), 1);
    }
    EXPECT_EQ(DiskPrint(1), print);
}

TEST_F(FirmwarePageChecks, QuestionThatCouldNotBeShownIsNoConsent)
{
    // Set up already: the confirmation is the only question before writing.
    LayApplianceTable(1);
    OpenPage();
    const std::string print = DiskPrint(1);
    // Another box of the same title is open, so no question appears.
    QDialog other;
    other.setWindowTitle(LanguageText("IDC_STRING_TITLE"));
    other.show();
    ClickUpgrade(MakeImage());
    other.hide();

    QTest::qWait(300);
    EXPECT_TRUE(shown_.empty());
    EXPECT_FALSE(page()->IsBusy());
    EXPECT_EQ(DiskPrint(1), print);
}

TEST_F(FirmwarePageChecks, StrayJobMessagesStartOrReportNothing)
{
    OpenPage();
    AnswerInTurn({1});
    PostWindowMessage(page(), WM_FORMAT_PROGRESS, 3, 0);
    PostWindowMessage(page(), WM_WORKER_DONE, 2, 0);
    QTest::qWait(300);
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(page()->isVisible());
    EXPECT_FALSE(page()->IsBusy());
}

TEST_F(FirmwarePageChecks, WindowsBinInTheWorkingDirectoryIsOfferedAfterAMoment)
{
    struct WorkingDirectory {
        fs::path before = fs::current_path();
        ~WorkingDirectory() { fs::current_path(before); }
    } restore;
    fs::current_path(Work());
    MakeImage("windows.bin");
    StartApp();
    {
        CTavrinDlg page(nullptr);
        EXPECT_TRUE(page.PathEdit()->text().isEmpty()) << "not before its timer";
        EXPECT_TRUE(WaitFor([&] { return !page.PathEdit()->text().isEmpty(); }, 2000));
        EXPECT_EQ(page.PathEdit()->text().toStdString(), (Work() / "windows.bin").string());
        EXPECT_EQ(page.FirmwarePath(), page.PathEdit()->text());
    }
    // A folder of that name is not offered.
    fs::remove(Work() / "windows.bin");
    fs::create_directory(Work() / "windows.bin");
    CTavrinDlg page(nullptr);
    QTest::qWait(300);
    EXPECT_TRUE(page.PathEdit()->text().isEmpty());
}

TEST_F(FirmwarePageChecks, BrowseTakesTheChosenImageAndCancelKeepsThePath)
{
    OpenPage();
    std::vector<FileDialogRequest> asked;
    QString answer = QStringLiteral("/images/new.bin");
    SetFileChooser([&](const FileDialogRequest& request) {
        asked.push_back(request);
        return answer;
    });
    page()->BrowseButton()->click();
    EXPECT_EQ(page()->PathEdit()->text(), answer);
    EXPECT_EQ(page()->FirmwarePath(), answer);
    answer.clear();
    page()->BrowseButton()->click();
    EXPECT_EQ(page()->PathEdit()->text(), QStringLiteral("/images/new.bin"));

    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].owner, page());
    EXPECT_EQ(asked[0].directory, QDir::currentPath());
    EXPECT_TRUE(asked[0].filter.startsWith(QStringLiteral("Bin Files (*.bin);;")));
    EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("bin"));

    // The hidden kernel choice takes only a file named "kernel".
    answer = QStringLiteral("/parts/kernel.bin");
    page()->OnBrowseKernel();
    EXPECT_TRUE(page()->KernelPath().isEmpty());
    answer = QStringLiteral("/parts/kernel");
    page()->OnBrowseKernel();
    EXPECT_EQ(page()->KernelPath(), answer);
    EXPECT_TRUE(asked.back().filter.isEmpty());
}

}  // namespace
