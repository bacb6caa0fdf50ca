// The application log: one text file per day in a folder chosen at start-up,
// old day files pruned when it starts, and a switch that turns the lines off.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "app/core/log/LogMessage.h"

class CComnLog {
public:
    // The one process-wide log, created on first use.
    static CComnLog& GetInstance();

    // Prunes old day files in folder (also when logging is off) and fixes
    // today's file as the target of every later line.
    void Init(bool bEnabled, std::u16string_view folder);
    // Appends one line stamped with the local time. True when written or
    // when logging is off; false when the file could not be opened or written.
    bool WriteLog(std::string_view message);

    bool IsEnabled() const { return m_bEnabled.load(); }
    std::u16string GetLogFilePath() const;
    std::string GetLastFileError() const;

    CComnLog(const CComnLog&) = delete;
    CComnLog& operator=(const CComnLog&) = delete;

private:
    CComnLog() = default;
    void KeepFileError(std::string text);

    // One section covers opening, writing and closing, so lines never mix.
    mutable std::mutex m_section;
    std::u16string m_logFilePath;
    std::string m_lastFileError;
    std::atomic<bool> m_bEnabled{false};
};

#if defined(_MSC_VER)
#define COMN_LOG_FUNCTION __FUNCSIG__
#else
#define COMN_LOG_FUNCTION __PRETTY_FUNCTION__
#endif

// Builds "file : function : line" + text and writes it when logging is on.
// The format starts with "%s : %s : %d" for the three prefix fields.
#define COMN_LOG(format, ...)                                                              \
    do {                                                                                   \
        CComnLog& comnLog_ = CComnLog::GetInstance();                                      \
        if (comnLog_.IsEnabled())                                                          \
            comnLog_.WriteLog(FormatLogMessage(format, LogSourceFile(__FILE__),            \
                                               LogFunctionName(COMN_LOG_FUNCTION).c_str(), \
                                               __LINE__ __VA_OPT__(, ) __VA_ARGS__));      \
    } while (0)
