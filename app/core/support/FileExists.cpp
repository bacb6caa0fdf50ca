#include "app/core/support/FileExists.h"

#include "platform/win_api.h"

bool FileExists(const char16_t* path)
{
    return path && *path && win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES;
}
