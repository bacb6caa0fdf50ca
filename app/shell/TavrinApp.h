// Start-up and shut-down of the desktop application.
#pragma once

#include "app/shell/AppOptions.h"

class CTavrinApp {
public:
    explicit CTavrinApp(AppOptions options) : m_options(std::move(options)) {}

    // False in every case: the process ends when the main window closes.
    bool InitInstance();
    // Tears down what start-up brought up; the exit code.
    int ExitInstance();

    // The steps before the main window: log, library, language. False when
    // the library did not start (the process then ends quietly).
    bool Start();
    // The main window, run modally.
    void RunMainWindow();

private:
    std::u16string StartLanguage();

    // What start-up brought up, so shut-down tears down exactly that.
    enum class Stage { Started = 0, LibraryFailed = 1 };

    AppOptions m_options;
    Stage m_stage = Stage::Started;
    int m_exitCode = 0;
};

int RunTavrinApp(int argc, char** argv);
