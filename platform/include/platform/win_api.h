// The Windows services the storage library and the application call, with
// their Windows names and semantics. On this machine they act on the emulated
// machine selected by platform/machine.h.
#pragma once

#include "platform/win_ioctl.h"
#include "platform/win_types.h"

namespace win {

// Errors.
DWORD GetLastError();
void SetLastError(DWORD error);

// Handles.
BOOL CloseHandle(HANDLE handle);

// Files and devices.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                     LPOVERLAPPED overlapped);

// File system.
BOOL DeleteFileA(LPCSTR path);
BOOL DeleteFileW(LPCWSTR path);
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
DWORD GetFileAttributesA(LPCSTR path);
DWORD GetFileAttributesW(LPCWSTR path);
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
BOOL SHGetSpecialFolderPathA(void* owner, LPSTR path, int folder, BOOL create);

// DOS device names and volumes.
BOOL DefineDosDeviceA(DWORD flags, LPCSTR name, LPCSTR target);
DWORD QueryDosDeviceA(LPCSTR name, LPSTR targets, DWORD size);
DWORD GetLogicalDrives();
BOOL GetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total, PULARGE_INTEGER totalFree);
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR name, DWORD nameSize, LPDWORD serial, LPDWORD maxComponent,
                           LPDWORD fsFlags, LPWSTR fsName, DWORD fsNameSize);

// System information.
BOOL GetVersionExA(OSVERSIONINFOA* info);
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
// shell32: whether the user runs with an administrator's rights (machine
// setting admin).
BOOL IsUserAnAdmin();
// shell32 and user32: a drive change told to the shell, and a message sent
// to windows (to HWND_BROADCAST: every top-level window). The machine keeps
// the latest drive changes of both for whoever looks; the application's
// window acts on "device nodes changed" alone, which it gets through
// RegisterDeviceNotificationA (below). No window of this machine hangs, so
// no time-out is waited out.
void SHChangeNotify(LONG eventId, UINT flags, LPCVOID item1, LPCVOID item2);
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                            PDWORD_PTR result);
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
LANGID GetSystemDefaultLangID();
UINT GetACP();
UINT GetOEMCP();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR out, int outSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int size, LPSTR out, int outSize,
                        LPCSTR defaultChar, BOOL* usedDefault);

// Time and synchronisation.
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Processes.
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                    LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD flags, LPVOID environment,
                    LPCSTR directory, STARTUPINFOA* startup, PROCESS_INFORMATION* info);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

// Libraries: the system's own (fmifs.dll, kernel32.dll, netapi32.dll); nothing else loads.
HMODULE LoadLibraryA(LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

}  // namespace win

#include "platform/win_registry.h"
#include "platform/win_setupapi.h"
#include "platform/win_svc.h"
#include "platform/win_crt.h"
#include "platform/win_fmifs.h"
#include "platform/win_hooks.h"

namespace win {

// user32: device notices, as Windows sends WM_DEVICECHANGE to a window that
// called RegisterDeviceNotification. This machine has no window system, so
// the recipient passes DEVICE_NOTIFY_CALLBACK with a routine that stands for
// its window procedure. The routine gets the event as its type: for disks of
// the filter's interface class (GUID_DEVINTERFACE_DISK, or any with
// DEVICE_NOTIFY_ALL_INTERFACE_CLASSES), DBT_DEVICEREMOVECOMPLETE and
// DBT_DEVICEARRIVAL with a DEV_BROADCAST_DEVICEINTERFACE_A valid for the
// call; then DBT_DEVNODES_CHANGED with none. It runs on the machine's
// notification thread, which looks at the machine's state (changed by this
// process or another) a few times a second; its return value is ignored.
using HDEVNOTIFY = struct DeviceNotifyObject*;
using PDEVICE_NOTIFY_CALLBACK_ROUTINE = ULONG (*)(void* context, ULONG type, void* setting);
struct DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS {
    PDEVICE_NOTIFY_CALLBACK_ROUTINE Callback;
    void* Context;
};
constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;
constexpr DWORD DEVICE_NOTIFY_CALLBACK = 2;
constexpr DWORD DEVICE_NOTIFY_ALL_INTERFACE_CLASSES = 4;
constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr GUID GUID_DEVINTERFACE_DISK = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};
struct DEV_BROADCAST_DEVICEINTERFACE_A {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    char dbcc_name[1];  // \\?\USBSTOR#DISK&VEN_...#{53f56307-...}, as long as it takes
};

// recipient: a DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS, flags with
// DEVICE_NOTIFY_CALLBACK; filter: a DEV_BROADCAST_DEVICEINTERFACE_A. Null
// with ERROR_INVALID_PARAMETER for anything else.
HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags);
// No routine runs for the handle once this returns (it waits for one running
// on another thread); a routine may unregister its own handle.
BOOL UnregisterDeviceNotification(HDEVNOTIFY notify);

}  // namespace win
