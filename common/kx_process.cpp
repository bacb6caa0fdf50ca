#include "common/kx_process.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win_api.h"

namespace kx {

int runHiddenTool(const char* commandLine, win::DWORD waitMs)
{
    // CreateProcessA may write into its command line.
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    win::STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    win::PROCESS_INFORMATION process{};
    if (!win::CreateProcessA(nullptr, line.data(), nullptr, nullptr, win::FALSE, win::CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &process)) {
        std::printf("CreateProcess failed (%d)\n", static_cast<int>(win::GetLastError()));
        std::fflush(stdout);
        return -1;
    }
    win::DWORD code = 0;
    const bool ended = win::WaitForSingleObject(process.hProcess, waitMs) == win::WAIT_OBJECT_0 &&
                       win::GetExitCodeProcess(process.hProcess, &code);
    win::CloseHandle(process.hProcess);
    win::CloseHandle(process.hThread);
    return ended ? static_cast<int>(code) : -1;
}

}  // namespace kx
