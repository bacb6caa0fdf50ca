// Device installation (SetupAPI): present devices of a class, their instance
// ids and registry properties.
#pragma once

#include "platform/win_types.h"

namespace win {

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

inline constexpr GUID GUID_DEVCLASS_DISKDRIVE = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID GUID_DEVCLASS_USB = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    std::uintptr_t Reserved;
};

enum : DWORD {
    DIGCF_DEFAULT = 0x1,
    DIGCF_PRESENT = 0x2,
    DIGCF_ALLCLASSES = 0x4,
    DIGCF_PROFILE = 0x8,
    DIGCF_DEVICEINTERFACE = 0x10,
};

enum : DWORD {
    SPDRP_DEVICEDESC = 0x00,
    SPDRP_HARDWAREID = 0x01,
    SPDRP_SERVICE = 0x04,
    SPDRP_CLASS = 0x07,
    SPDRP_CLASSGUID = 0x08,
    SPDRP_DRIVER = 0x09,
    SPDRP_MFG = 0x0B,
    SPDRP_FRIENDLYNAME = 0x0C,
    SPDRP_UPPERFILTERS = 0x11,
    SPDRP_LOWERFILTERS = 0x12,
};

// SetupAPI's own error codes.
enum : DWORD {
    ERROR_INVALID_REG_PROPERTY = 0xE0000209,
    ERROR_NO_SUCH_DEVINST = 0xE000020B,
    ERROR_NO_CLASSINSTALL_PARAMS = 0xE0000215,
    ERROR_NOT_DISABLEABLE = 0xE0000231,
};
// System errors of the device functions.
enum : DWORD {
    ERROR_GEN_FAILURE = 31,
    ERROR_INVALID_USER_BUFFER = 1784,
};

// Class installer requests: property changes of a device node.
using DI_FUNCTION = UINT;
enum : DI_FUNCTION { DIF_PROPERTYCHANGE = 0x12 };
enum : DWORD {
    DICS_ENABLE = 1,
    DICS_DISABLE = 2,
    DICS_PROPCHANGE = 3,
    DICS_START = 4,
    DICS_STOP = 5,
    DICS_FLAG_GLOBAL = 1,
    DICS_FLAG_CONFIGSPECIFIC = 2,
    DICS_FLAG_CONFIGGENERAL = 4,
};

struct SP_CLASSINSTALL_HEADER {
    DWORD cbSize;
    DI_FUNCTION InstallFunction;
};

struct SP_PROPCHANGE_PARAMS {
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    DWORD StateChange;
    DWORD Scope;
    DWORD HwProfile;
};

// Device installation parameters; Flags tells whether Windows must restart.
enum : DWORD {
    DI_NEEDRESTART = 0x80,
    DI_NEEDREBOOT = 0x100,
};

struct SP_DEVINSTALL_PARAMS_A {
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    void* hwndParent;
    void* InstallMsgHandler;
    void* InstallMsgHandlerContext;
    void* FileQueue;
    std::uintptr_t ClassInstallReserved;
    DWORD Reserved;
    CHAR DriverPath[MAX_PATH];
};

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, void* parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, SP_DEVINFO_DATA* data, LPSTR id, DWORD size, LPDWORD required);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, LPDWORD type,
                                       BYTE* buffer, DWORD size, LPDWORD required);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
// Writes the upper or lower filter list (REG_MULTI_SZ); an empty buffer of
// size 0 deletes it.
BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, const BYTE* buffer,
                                       DWORD size);
BOOL SetupDiSetClassInstallParamsA(HDEVINFO set, SP_DEVINFO_DATA* data, SP_CLASSINSTALL_HEADER* params, DWORD size);
BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data);
BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_A* params);

}  // namespace win
