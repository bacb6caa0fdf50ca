// A fresh machine with the application started on it as start-up does (log,
// library, language tables), so the windows can be built and driven.
#pragma once

#include <QString>
#include <QTest>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/MainDlg.h"
#include "app/shell/TavrinApp.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/ShowMessage.h"
#include "support/temp_machine.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace app_testing {

struct AnsweredBox {
    QString text;
    int type;
};

class AppMachine : public testing_support::TempMachine {
protected:
    void SetUp() override { TempMachine::SetUp(); }
    void TearDown() override
    {
        window_.reset();
        SetMessageAnswerer({});
        if (app_)
            app_->ExitInstance();
        TempMachine::TearDown();
    }

    // Start-up as the application runs it; language as --lang gives it.
    void StartApp(const QString& language = QString())
    {
        AppOptions options;
        options.language = language;
        app_ = std::make_unique<CTavrinApp>(options);
        ASSERT_TRUE(app_->Start());
    }

    // The application started and its main window shown, once the first
    // device search (which starts by itself) has ended.
    void OpenWindow(const QString& language = QString());

    // Every box shown from now on is recorded and answered with answer.
    void AnswerBoxesWith(int answer)
    {
        SetMessageAnswerer([this, answer](CMessageDlg& box) {
            boxes_.push_back({box.MessageText(), box.MessageType()});
            return answer;
        });
    }

    std::filesystem::path TemplatesFolder() const
    {
        return dir_ / "drive_c" / "ProgramData" / "Microsoft" / "Windows" / "Templates";
    }
    std::string ReadFile(const std::filesystem::path& path) const;

    std::unique_ptr<CTavrinApp> app_;
    std::unique_ptr<CMainDlg> window_;
    std::vector<AnsweredBox> boxes_;
};

inline bool WaitFor(const std::function<bool()>& condition, int ms = 20000)
{
    return QTest::qWaitFor(condition, ms);
}

}  // namespace app_testing
