// Mounting and dismounting encrypted volumes: the driver's work behind its
// mount and dismount requests. Results are the driver's result codes.
#pragma once

#include <cstdint>

#include "platform/machine.h"
#include "platform/win_truecrypt.h"

namespace win::detail {

std::int32_t mountCryptVolume(machine::Machine& m, const crypt_driver::MountRequest& request);
std::int32_t dismountCryptVolume(machine::Machine& m, int driveNumber, bool forced);

}  // namespace win::detail
