// Folders under the Windows directory. Each function owns its buffer so one
// caller's text is not changed by a call of another function.
#include <cstdio>
#include <cstring>

#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

constexpr std::size_t kBufferSize = win::MAX_PATH;

// Too long a result is cut at the buffer's end rather than overrunning it.
const char* windowsSubfolder(char (&buffer)[kBufferSize], const char* name)
{
    char windows[win::MAX_PATH] = {};
    win::GetWindowsDirectoryA(windows, sizeof windows);
    std::memset(buffer, 0, sizeof buffer);
    std::snprintf(buffer, sizeof buffer, "%s\\%s", windows, name);
    return buffer;
}

char unpackPath[kBufferSize];
char system32Path[kBufferSize];
char backupPath[kBufferSize];

}  // namespace

extern "C" {

const char* kx_soft_unpack_path(void)
{
    return windowsSubfolder(unpackPath, "kxpart");
}

const char* kx_soft_system32_path(void)
{
    return windowsSubfolder(system32Path, "system32");
}

const char* kx_soft_backup_path(void)
{
    return windowsSubfolder(backupPath, "kxbackup");
}

}  // extern "C"
