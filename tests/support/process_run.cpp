#include "support/process_run.h"

#include <gtest/gtest.h>

#include "platform/win_api.h"

namespace testing_support {

win::DWORD runToEnd(std::string line, HandleCheck check)
{
    using namespace win;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        return 1000 + GetLastError();
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    const bool processClosed = CloseHandle(info.hProcess);
    const bool threadClosed = CloseHandle(info.hThread);
    if (check == HandleCheck::expectClosed) {
        EXPECT_TRUE(processClosed);
        EXPECT_TRUE(threadClosed);
    }
    return code;
}

}  // namespace testing_support
