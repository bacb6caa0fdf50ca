// fmifs.dll: the system's format service, reached through LoadLibraryA and
// GetProcAddress(module, "FormatEx").
#pragma once

#include "platform/win_types.h"

namespace win {

using PWCHAR = WCHAR*;
using PVOID = void*;

// What the callback is told; actionInfo points at the data named here.
enum CALLBACKCOMMAND : DWORD {
    PROGRESS = 0,            // DWORD: percent completed
    INSUFFICIENTRIGHTS = 6,  // none
    FSNOTSUPPORTED = 7,      // none
    VOLUMEINUSE = 8,         // none
    DONE = 11,               // BOOLEAN: the format succeeded
};

// Media types FormatEx takes.
enum FMIFS_MEDIA_FLAG : DWORD {
    FMIFS_REMOVABLE = 11,
    FMIFS_HARDDISK = 12,
};

// Returns FALSE to stop the format.
using PFMIFSCALLBACK = BOOLEAN (*)(DWORD command, DWORD subAction, PVOID actionInfo);
using PFORMATEX = void (*)(PWCHAR driveRoot, DWORD mediaType, PWCHAR fileSystem, PWCHAR label, BOOL quickFormat,
                           DWORD clusterSize, PFMIFSCALLBACK callback);

// Formats the volume of driveRoot ("D:\") with "NTFS", "FAT" or "FAT32";
// clusterSize 0 takes the file system's default. Runs on the calling thread,
// calling back with progress as it goes and last with DONE.
void FormatEx(PWCHAR driveRoot, DWORD mediaType, PWCHAR fileSystem, PWCHAR label, BOOL quickFormat,
              DWORD clusterSize, PFMIFSCALLBACK callback);

}  // namespace win
