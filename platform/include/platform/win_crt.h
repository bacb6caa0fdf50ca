// The C runtime's file opening with Windows paths (the rest of stdio is
// used as it is).
#pragma once

#include <cstdio>

#include "platform/win_types.h"

namespace win {

// mode as for fopen; "t" (text) is accepted and means what "b" means here,
// except that text-mode readers turn CR LF into LF themselves.
std::FILE* fopen(const char* path, const char* mode);
std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

}  // namespace win
