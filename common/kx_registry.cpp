// String values in the registry, for outside callers of the library.
#include <cstring>

#include "kx/kx.h"
#include "platform/win_api.h"

namespace {

constexpr std::size_t kValueSize = KX_REG_STRING_SIZE;

win::HKEY toKey(KX_HKEY root)
{
    return reinterpret_cast<win::HKEY>(root);
}

// "Does not exist" is told apart from every other failure.
int readFailure(win::LONG error)
{
    return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? 1 : 2;
}

}  // namespace

extern "C" {

int kx_get_reg_string(KX_HKEY root, const char* value_name, char* out, const char* sub_key)
{
    if (!value_name || !out)
        return 2;
    win::HKEY key = nullptr;
    win::LONG result = win::RegOpenKeyExA(toKey(root), sub_key, 0, win::KEY_READ, &key);
    if (result != win::ERROR_SUCCESS)
        return readFailure(result);

    char value[kValueSize] = {};
    win::DWORD size = sizeof value;
    result = win::RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<win::BYTE*>(value), &size);
    if (result == win::ERROR_SUCCESS) {
        // A value that fills the whole buffer has no terminator of its own;
        // keep one so the caller's 1024 bytes stay a string.
        const std::size_t length = strnlen(value, sizeof value - 1);
        std::memcpy(out, value, length);
        out[length] = '\0';
        win::RegFlushKey(key);
    }
    win::RegCloseKey(key);
    return result == win::ERROR_SUCCESS ? 0 : readFailure(result);
}

int kx_set_reg_string(KX_HKEY root, const char* value_name, const char* text, unsigned int type, const char* sub_key)
{
    if (!value_name || !text)
        return 1;
    win::HKEY key = nullptr;
    if (win::RegCreateKeyExA(toKey(root), sub_key, 0, nullptr, win::REG_OPTION_NON_VOLATILE, win::KEY_WRITE, nullptr,
                             &key, nullptr) != win::ERROR_SUCCESS)
        return 1;
    const auto size = static_cast<win::DWORD>(std::strlen(text) + 1);
    const win::LONG result =
        win::RegSetValueExA(key, value_name, 0, type, reinterpret_cast<const win::BYTE*>(text), size);
    if (result == win::ERROR_SUCCESS)
        win::RegFlushKey(key);
    win::RegCloseKey(key);
    return result == win::ERROR_SUCCESS ? 0 : 1;
}

}  // extern "C"

static_assert(sizeof(KX_HKEY) == sizeof(win::HKEY), "root keys pass through unchanged");
