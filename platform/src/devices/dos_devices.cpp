// DOS device names: DefineDosDevice, QueryDosDevice and the drive letters.
#include <algorithm>
#include <cstring>
#include <vector>

#include "devices/device_resolve.h"
#include "platform/win_api.h"
#include "text/text_util.h"

namespace win {

namespace {

// Writes names as a list of strings ended by an empty one.
DWORD putMultiString(const std::vector<std::string>& items, LPSTR out, DWORD size)
{
    std::size_t needed = 1;
    for (const auto& s : items)
        needed += s.size() + 1;
    if (!out || needed > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char* p = out;
    for (const auto& s : items) {
        std::memcpy(p, s.c_str(), s.size() + 1);
        p += s.size() + 1;
    }
    *p = '\0';
    return static_cast<DWORD>(needed);
}

}  // namespace

BOOL DefineDosDeviceA(DWORD flags, LPCSTR name, LPCSTR target)
{
    if (!name || !*name || std::strchr(name, '\\')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string key = machine::toUpper(name);
    const bool remove = flags & DDD_REMOVE_DEFINITION;
    if (!remove && (!target || !*target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Without a raw target the target is a DOS path, reached through \??\.
    std::string stored = target ? target : "";
    if (!(flags & DDD_RAW_TARGET_PATH) && !stored.empty())
        stored = "\\??\\" + stored;
    const bool found = machine::current()->updateDosNames([&](machine::DosNameChanges& names) {
        if (!remove) {
            names.define(key, stored);
            return true;
        }
        auto entry = names.names().find(key);
        if (entry == names.names().end())
            return false;
        const auto& targets = entry->second;
        auto it = targets.begin();
        if (!stored.empty()) {
            const bool exact = flags & DDD_EXACT_MATCH_ON_REMOVE;
            it = std::find_if(targets.begin(), targets.end(), [&](const std::string& t) {
                return exact ? machine::equalsNoCase(t, stored) : machine::startsWithNoCase(t, stored);
            });
        }
        return it != targets.end() && names.remove(key, std::string(*it));
    });
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD QueryDosDeviceA(LPCSTR name, LPSTR targets, DWORD size)
{
    auto m = machine::current();
    auto state = m->readWithoutNames();
    auto defined = m->readDosNames();
    if (!name) {
        std::vector<std::string> names;
        for (const auto& [n, t] : *defined)
            names.push_back(n);
        for (char c = 'C'; c <= 'Z'; ++c)
            if (detail::dosDeviceTarget(*state, *defined, std::string(1, c) + ":"))
                names.push_back(std::string(1, c) + ":");
        return putMultiString(names, targets, size);
    }
    const std::string key = machine::toUpper(name);
    if (auto it = defined->find(key); it != defined->end())
        return putMultiString(it->second, targets, size);
    auto target = detail::dosDeviceTarget(*state, *defined, name);
    if (!target) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return putMultiString({*target}, targets, size);
}

DWORD GetLogicalDrives()
{
    auto m = machine::current();
    return detail::logicalDriveMask(*m->readWithoutNames(), *m->readDosNames());
}

}  // namespace win
