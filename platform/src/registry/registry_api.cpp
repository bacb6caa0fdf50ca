// The registry functions over the machine's persisted registry. An open key
// is only its path and access: every call reads or updates the machine, so
// other processes see each change at once.
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/machine.h"
#include "platform/win_api.h"
#include "registry/registry_tree.h"

namespace win {

struct RegKeyObject {
    std::string path;  // starts with the hive
    REGSAM access = 0;
};

namespace {

constexpr LONG kErrorRegistryIoFailed = 1016;
constexpr LONG kErrorKeyDeleted = 1018;
constexpr REGSAM kMaximumAllowed = 0x02000000;

struct OpenKeys {
    std::mutex lock;
    std::unordered_map<const RegKeyObject*, std::shared_ptr<RegKeyObject>> keys;
};

OpenKeys& openKeys()
{
    static OpenKeys k;
    return k;
}

const char* hiveName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (key == HKEY_CURRENT_USER)
        return "HKCU";
    if (key == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (key == HKEY_USERS)
        return "HKU";
    return nullptr;
}

std::optional<RegKeyObject> lookup(HKEY key)
{
    if (const char* hive = hiveName(key))
        return RegKeyObject{hive, KEY_ALL_ACCESS};
    auto& k = openKeys();
    std::lock_guard guard(k.lock);
    auto it = k.keys.find(key);
    if (it == k.keys.end())
        return std::nullopt;
    return *it->second;
}

HKEY registerKey(std::string path, REGSAM access)
{
    auto object = std::make_shared<RegKeyObject>(RegKeyObject{std::move(path), access});
    auto& k = openKeys();
    std::lock_guard guard(k.lock);
    k.keys.emplace(object.get(), object);
    return object.get();
}

// Generic rights map onto the key rights, as Windows maps them.
REGSAM effectiveAccess(REGSAM access)
{
    REGSAM out = access & 0x00FFFFFF & ~kMaximumAllowed;
    if (access & GENERIC_READ)
        out |= KEY_READ;
    if (access & GENERIC_WRITE)
        out |= KEY_WRITE;
    if (access & (GENERIC_ALL | kMaximumAllowed))
        out |= KEY_ALL_ACCESS;
    return out;
}

bool isHive(std::string_view path) { return path.find('\\') == std::string_view::npos; }

bool keyExists(const nlohmann::json& registry, const std::string& path)
{
    return isHive(path) || machine::reg::findKey(registry, path) != nullptr;
}

std::shared_ptr<const machine::State> readState()
{
    return machine::current()->readWithoutNames();
}

// Runs a registry change on the machine; a failing store is an I/O failure.
template <typename Change>
LONG updateRegistry(Change&& change)
{
    LONG result = ERROR_SUCCESS;
    try {
        machine::current()->update([&](machine::State& state) { result = change(state.registry); });
    } catch (const std::exception&) {
        return kErrorRegistryIoFailed;
    }
    return result;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const auto base = lookup(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::string path = machine::reg::joinPath(base->path, subKey ? subKey : "");
    try {
        if (!keyExists(readState()->registry, path))
            return ERROR_FILE_NOT_FOUND;
    } catch (const std::exception&) {
        return kErrorRegistryIoFailed;
    }
    *result = registerKey(std::move(path), effectiveAccess(access));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                     HKEY* result, LPDWORD disposition)
{
    if (!result || !subKey)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const auto base = lookup(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::string path = machine::reg::joinPath(base->path, subKey);
    bool created = false;
    const LONG rc = updateRegistry([&](nlohmann::json& registry) {
        const nlohmann::json& view = registry;
        if (!keyExists(registry, base->path))
            return kErrorKeyDeleted;
        created = machine::reg::findKey(view, path) == nullptr;
        machine::reg::findKey(registry, path, true);
        return LONG{ERROR_SUCCESS};
    });
    if (rc != ERROR_SUCCESS)
        return rc;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = registerKey(std::move(path), effectiveAccess(access));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD size)
{
    if (reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    const auto k = lookup(key);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    std::optional<machine::reg::Value> value;
    try {
        const auto state = readState();
        const nlohmann::json* node = machine::reg::findKey(state->registry, k->path);
        if (!node)
            return isHive(k->path) ? LONG{ERROR_FILE_NOT_FOUND} : kErrorKeyDeleted;
        value = machine::reg::getValue(*node, valueName ? valueName : "");
    } catch (const std::exception&) {
        return kErrorRegistryIoFailed;
    }
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    const auto needed = static_cast<DWORD>(value->data.size());
    if (!size)
        return ERROR_SUCCESS;
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data && needed)
        std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    const auto k = lookup(key);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    machine::reg::Value value{type, data ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>{}};
    return updateRegistry([&](nlohmann::json& registry) {
        const nlohmann::json& view = registry;
        if (!isHive(k->path) && !machine::reg::findKey(view, k->path))
            return kErrorKeyDeleted;
        machine::reg::setValue(*machine::reg::findKey(registry, k->path, true), valueName ? valueName : "", value);
        return LONG{ERROR_SUCCESS};
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    const auto k = lookup(key);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return updateRegistry([&](nlohmann::json& registry) {
        const nlohmann::json* node = machine::reg::findKey(static_cast<const nlohmann::json&>(registry), k->path);
        if (!node)
            return isHive(k->path) ? LONG{ERROR_FILE_NOT_FOUND} : kErrorKeyDeleted;
        nlohmann::json* writable = machine::reg::findKey(registry, k->path, false);
        return machine::reg::deleteValue(*writable, valueName ? valueName : "") ? LONG{ERROR_SUCCESS}
                                                                                 : LONG{ERROR_FILE_NOT_FOUND};
    });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    const auto k = lookup(key);
    if (!k)
        return ERROR_INVALID_HANDLE;
    const std::string path = machine::reg::joinPath(k->path, subKey);
    if (isHive(path))
        return ERROR_ACCESS_DENIED;  // a hive cannot go
    return updateRegistry([&](nlohmann::json& registry) {
        const nlohmann::json* node = machine::reg::findKey(static_cast<const nlohmann::json&>(registry), path);
        if (!node)
            return LONG{ERROR_FILE_NOT_FOUND};
        // Windows refuses to delete a key that still has sub-keys.
        if (!machine::reg::subkeyNames(*node).empty())
            return LONG{ERROR_ACCESS_DENIED};
        return machine::reg::deleteKey(registry, path) ? LONG{ERROR_SUCCESS} : LONG{ERROR_FILE_NOT_FOUND};
    });
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize)
{
    const auto k = lookup(key);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    std::vector<std::string> names;
    try {
        const auto state = readState();
        const nlohmann::json* node = machine::reg::findKey(state->registry, k->path);
        if (!node && !isHive(k->path))
            return kErrorKeyDeleted;
        if (node)
            names = machine::reg::subkeyNames(*node);
    } catch (const std::exception&) {
        return kErrorRegistryIoFailed;
    }
    if (index >= names.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& found = names[index];
    if (!name || found.size() + 1 > nameSize)
        return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key)
{
    // Every change is already stored when its call returns.
    return lookup(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegCloseKey(HKEY key)
{
    if (hiveName(key))
        return ERROR_SUCCESS;
    std::shared_ptr<RegKeyObject> object;  // freed outside the lock
    auto& k = openKeys();
    std::lock_guard guard(k.lock);
    auto it = k.keys.find(key);
    if (it == k.keys.end())
        return ERROR_INVALID_HANDLE;
    object = std::move(it->second);
    k.keys.erase(it);
    return ERROR_SUCCESS;
}

}  // namespace win
