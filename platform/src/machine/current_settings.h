// The settings of the current machine for the win:: functions, which must
// not throw: an unreadable machine answers as a default one.
#pragma once

#include "platform/machine.h"

namespace win::detail {

machine::Settings currentSettings();

}  // namespace win::detail
