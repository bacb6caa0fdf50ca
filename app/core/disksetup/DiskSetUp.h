// Whether an appliance disk must be set up before its firmware can be
// upgraded: the library's verdict 0 or 1 means it lacks the system partition.
#pragma once

#include "kx/kx.h"

inline bool DiskNeedsSetUp(const char* devpath)
{
    const int verdict = kx_dev_is_need_format(devpath);
    return verdict == 0 || verdict == 1;
}
