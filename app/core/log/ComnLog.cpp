#include "app/core/log/ComnLog.h"

#include <cstdio>

#include "app/core/log/DayLogFiles.h"
#include "app/core/log/LocalClock.h"
#include "app/core/support/ScopedHandle.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

constexpr size_t kMaxErrorText = 4096;

// Text mode: every line feed goes to the file as CR LF.
std::string ToTextMode(std::string_view line)
{
    std::string out;
    out.reserve(line.size() + 2);
    for (char c : line) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string FileErrorText(const char* what, const std::u16string& path, win::DWORD error)
{
    return std::string(what) + " " + WideToUtf8(path) + ": error " + std::to_string(error);
}

void PruneDayFiles(const std::u16string& folder, const LocalDateTime& today)
{
    win::WIN32_FIND_DATAW found{};
    const std::u16string pattern = folder + u"\\*.*";
    win::HANDLE find = win::FindFirstFileW(pattern.c_str(), &found);
    if (find == win::INVALID_HANDLE_VALUE)
        return;
    do {
        // A listed name is a name in this folder, never a path: one that
        // would read as a path out of it is left alone, as are folders.
        const std::u16string name(found.cFileName);
        if (!IsPlainFileName(name) || (found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (IsStaleDayLogName(name, today))
            win::DeleteFileW((folder + u"\\" + name).c_str());  // a file that stays is no harm
    } while (win::FindNextFileW(find, &found));
    win::FindClose(find);
}

}  // namespace

CComnLog& CComnLog::GetInstance()
{
    static CComnLog instance;
    return instance;
}

void CComnLog::Init(bool bEnabled, std::u16string_view folder)
{
    std::lock_guard lock(m_section);
    m_bEnabled = bEnabled;
    // An empty folder means the current directory, never the drive's root.
    const std::u16string dir = folder.empty() ? std::u16string(u".") : std::u16string(folder);
    const LocalDateTime today = GetLocalDateTime();
    PruneDayFiles(dir, today);
    m_logFilePath = dir + u"\\" + DayLogFileName(today);
}

bool CComnLog::WriteLog(std::string_view message)
{
    if (!m_bEnabled)
        return true;
    std::lock_guard lock(m_section);
    ScopedHandle file(win::CreateFileW(m_logFilePath.c_str(), win::GENERIC_WRITE, 0, nullptr, win::OPEN_ALWAYS,
                                       win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        KeepFileError(FileErrorText("cannot open", m_logFilePath, win::GetLastError()));
        return false;
    }
    const LocalDateTime t = GetLocalDateTime();
    const std::string stamp = FormatLogMessage("%04d-%02d-%02d %02d:%02d:%02d_%03d ", t.year, t.month, t.day, t.hour,
                                               t.minute, t.second, t.millisecond);
    const std::string text = ToTextMode(stamp + std::string(message) + "\n");

    bool ok = true;
    win::LARGE_INTEGER zero{};
    win::DWORD written = 0;
    if (!win::SetFilePointerEx(file.Get(), zero, nullptr, win::FILE_END) ||
        !win::WriteFile(file.Get(), text.data(), static_cast<win::DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        KeepFileError(FileErrorText("cannot write", m_logFilePath, win::GetLastError()));
        ok = false;
    }
    if (!file.Close()) {
        KeepFileError(FileErrorText("cannot close", m_logFilePath, win::GetLastError()));
        ok = false;
    }
    return ok;
}

std::u16string CComnLog::GetLogFilePath() const
{
    std::lock_guard lock(m_section);
    return m_logFilePath;
}

std::string CComnLog::GetLastFileError() const
{
    std::lock_guard lock(m_section);
    return m_lastFileError;
}

void CComnLog::KeepFileError(std::string text)
{
    if (text.size() > kMaxErrorText)
        text.resize(kMaxErrorText);
    m_lastFileError = std::move(text);
}
