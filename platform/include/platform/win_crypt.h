// CryptoAPI random generation. On this machine every provider draws on the
// operating system's random source; the machine's cryptoapi setting can make
// the provider absent, its default key set missing, or its generator fail.
#pragma once

#include "platform/win_types.h"

namespace win {

using HCRYPTPROV = std::uintptr_t;

enum : DWORD {
    PROV_RSA_FULL = 1,
    PROV_RSA_AES = 24,
    CRYPT_NEWKEYSET = 0x8,
    CRYPT_VERIFYCONTEXT = 0xF0000000,
};

// CryptoAPI errors (HRESULT values reported through GetLastError).
enum : DWORD {
    NTE_BAD_UID = 0x80090001,
    NTE_BAD_FLAGS = 0x80090009,
    NTE_BAD_KEYSET = 0x80090016,
    NTE_PROV_TYPE_NOT_DEF = 0x80090017,
    NTE_KEYSET_NOT_DEF = 0x80090019,
    NTE_FAIL = 0x80090020,
};

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR providerName, DWORD providerType,
                          DWORD flags);
BOOL CryptGenRandom(HCRYPTPROV provider, DWORD length, BYTE* buffer);
BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags);

}  // namespace win
