// The disk-encryption driver of the machine: its device \\.\TrueCrypt is
// there while a kernel-driver service with its image (kxcrypt.sys,
// kxcrypt-x64.sys) runs, or while another product's driver holds the name.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/machine.h"
#include "platform/win_types.h"

namespace win::detail {

bool isCryptDriverService(const machine::Service& service);
bool cryptDriverRunning(const machine::State& state);
// The running driver's interface version; ours unless another holds the name.
std::uint32_t cryptDriverVersion(const machine::State& state);

HANDLE openCryptDriver();

// A control code sent on a handle; nothing when the handle is not the
// driver's.
std::optional<BOOL> cryptDriverControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                       DWORD* returned);

}  // namespace win::detail
