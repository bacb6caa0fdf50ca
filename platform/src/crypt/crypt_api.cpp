// CryptoAPI random generation over the operating system's random source
// (getrandom), shaped by the machine's cryptoapi setting.
#include <sys/random.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "crypt/crypt_keys.h"
#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "platform/win_crypt.h"
#include "text/text_util.h"

namespace machine {

namespace {

constexpr std::pair<CryptoApi, const char*> kApiNames[] = {
    {CryptoApi::Ok, "ok"},
    {CryptoApi::NoKeyset, "no_keyset"},
    {CryptoApi::Absent, "absent"},
    {CryptoApi::Fails, "fails"},
};

}  // namespace

std::optional<CryptoApi> cryptoApiNamed(const std::string& name)
{
    for (const auto& [api, word] : kApiNames)
        if (equalsNoCase(name, word))
            return api;
    return std::nullopt;
}

std::string cryptoApiName(CryptoApi api)
{
    for (const auto& [a, word] : kApiNames)
        if (a == api)
            return word;
    return "ok";
}

}  // namespace machine

namespace win {

namespace {

// Live provider handles, so that a released or made-up one is refused.
std::mutex providersLock;
std::set<HCRYPTPROV> providers;
HCRYPTPROV nextProvider = 0x1000;

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

bool knownProvider(HCRYPTPROV provider)
{
    std::lock_guard guard(providersLock);
    return providers.count(provider) != 0;
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR, LPCSTR, DWORD providerType, DWORD flags)
{
    if (!provider)
        return fail(ERROR_INVALID_PARAMETER);
    if (flags & ~(CRYPT_NEWKEYSET | CRYPT_VERIFYCONTEXT))
        return fail(NTE_BAD_FLAGS);
    if (providerType != PROV_RSA_FULL && providerType != PROV_RSA_AES)
        return fail(NTE_PROV_TYPE_NOT_DEF);
    switch (detail::currentSettings().cryptoApi) {
    case machine::CryptoApi::Absent:
        return fail(NTE_KEYSET_NOT_DEF);
    case machine::CryptoApi::NoKeyset:
        if (!(flags & (CRYPT_NEWKEYSET | CRYPT_VERIFYCONTEXT)))
            return fail(NTE_BAD_KEYSET);
        break;
    default:
        break;
    }
    // Every start of the library comes here for its random pool: keys that
    // outlived their mount (a process killed in a dismount) go now.
    try {
        detail::removeStrayVolumeKeysOnce(*machine::current());
    } catch (...) {
        // A machine that cannot be read fails the calls that need it, not this one.
    }
    std::lock_guard guard(providersLock);
    *provider = nextProvider++;
    providers.insert(*provider);
    return TRUE;
}

BOOL CryptGenRandom(HCRYPTPROV provider, DWORD length, BYTE* buffer)
{
    if (!knownProvider(provider))
        return fail(ERROR_INVALID_HANDLE);
    if (!buffer && length)
        return fail(ERROR_INVALID_PARAMETER);
    if (detail::currentSettings().cryptoApi == machine::CryptoApi::Fails)
        return fail(NTE_FAIL);
    for (DWORD done = 0; done < length;) {
        const ssize_t got = ::getrandom(buffer + done, length - done, 0);
        if (got < 0 && errno != EINTR)
            return fail(NTE_FAIL);
        if (got > 0)
            done += static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags)
{
    if (flags)
        return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard guard(providersLock);
    if (providers.erase(provider) == 0)
        return fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

}  // namespace win
