// What the SetupAPI functions that change a device node share.
#pragma once

#include <functional>

#include "platform/machine.h"
#include "setupapi/setupapi_devices.h"

namespace win::detail {

// Runs change on the machine's state with the disk behind a disk drive
// element (none for other devices). Returns the Windows error to report:
// change's own, ERROR_NO_SUCH_DEVINST when the node has gone since the set
// was made, ERROR_INVALID_DATA when the machine cannot be read.
DWORD changeNode(const Device& device, const std::function<DWORD(machine::State&, machine::Disk*)>& change);

}  // namespace win::detail
