// What start-up writes into the shared templates folder: the device console
// tool out of the executable and the language files, refreshed every start.
#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <fstream>

#include "app/pages/DeviceFormatDlg.h"
#include "app_fixture.h"

namespace {

using app_testing::AppMachine;
using testing_support::buildDir;

class StartupTest : public AppMachine {
protected:
    std::filesystem::path LanguageFile(const char* name) const
    {
        return TemplatesFolder() / "UpgradeLanguage" / name;
    }
    void Restart()
    {
        app_->ExitInstance();
        StartApp();
    }
};

// Every key of the file, [Setting] and [String], in file order.
QStringList FileKeys(const std::string& bytes)
{
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                                            static_cast<qsizetype>((bytes.size() - 2) / 2));
    QStringList keys;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        if (!line.startsWith('[') && line.contains('='))
            keys << line.section('=', 0, 0);
    return keys;
}

TEST_F(StartupTest, DeviceToolIsWrittenOutOfTheExecutableOnEveryStart)
{
    StartApp();
    const auto tool = TemplatesFolder() / "cmddev.exe";
    const std::string built = ReadFile(buildDir() + "/cmddev");
    ASSERT_FALSE(built.empty());
    EXPECT_EQ(ReadFile(tool), built);

    { std::ofstream(tool, std::ios::trunc) << "stale"; }
    Restart();
    EXPECT_EQ(ReadFile(tool), built);
}

TEST_F(StartupTest, LanguageFilesAreIdenticalAcrossStartsAndCarryTheSameKeys)
{
    StartApp();
    const char* names[] = {"Multi_eng.ini", "Multi_ch.ini", "Multi_taiw.ini"};
    std::string first[3];
    for (int i = 0; i < 3; ++i)
        first[i] = ReadFile(LanguageFile(names[i]));

    // An operator's edit does not survive the next start.
    { std::ofstream(LanguageFile("Multi_eng.ini"), std::ios::app) << "edited"; }
    Restart();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(ReadFile(LanguageFile(names[i])), first[i]);
        EXPECT_EQ(first[i].substr(0, 2), "\xFF\xFE");
    }
    const QStringList keys = FileKeys(first[0]);
    EXPECT_EQ(keys.size(), 97);  // the fixed 91, our three job texts and three quit texts
    EXPECT_EQ(keys.first(), QStringLiteral("Language"));
    EXPECT_EQ(keys.last(), QStringLiteral("IDC_STRING_PARTSIZE_PART_NAME"));
    EXPECT_EQ(FileKeys(first[1]), keys);
    EXPECT_EQ(FileKeys(first[2]), keys);
}

TEST_F(StartupTest, LanguageOptionIsRememberedAsTheComboBoxWouldRememberIt)
{
    StartApp(QStringLiteral("Traditional"));
    EXPECT_EQ(ReadFile(TemplatesFolder() / "setting.txt"), "Traditional");
    Restart();
    EXPECT_EQ(ReadFile(TemplatesFolder() / "setting.txt"), "Traditional");
}

// The disk setup page has no button: --page format is how it is reached.
TEST_F(StartupTest, PageFormatOpensTheDiskSetupPageForTheSelectedDisk)
{
    AppOptions options;
    options.page = QStringLiteral("format");
    app_ = std::make_unique<CTavrinApp>(options);
    ASSERT_TRUE(app_->Start());
    bool opened = false;
    std::uint32_t publicMiB = 0;
    const auto shownWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<CMainDlg*>(w); window && window->isVisible())
                return window;
        return static_cast<CMainDlg*>(nullptr);
    };
    QTimer watch;
    QElapsedTimer waited;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        CMainDlg* window = shownWindow();
        if (!window)
            return;
        opened = window->DiskSetupPage()->isVisible();
        if (!opened && waited.elapsed() < 20000)
            return;
        publicMiB = window->DiskSetupPage()->TotalSize();
        window->done(0);
    });
    waited.start();
    watch.start(20);
    app_->RunMainWindow();
    EXPECT_TRUE(opened);
    EXPECT_EQ(publicMiB, 8u * 1024 - 1024) << "the page was entered for the 8 GiB appliance disk";
}

}  // namespace
