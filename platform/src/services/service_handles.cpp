#include "services/service_handles.h"

#include <map>
#include <mutex>

#include "platform/win_api.h"
#include "text/text_util.h"

namespace win::detail {

namespace {

constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kGenericMask = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

struct OpenCounts {
    std::mutex mutex;
    std::map<std::string, int> byName;  // upper-case name
};

OpenCounts& openCounts()
{
    static OpenCounts counts;
    return counts;
}

}  // namespace

SC_HANDLE registerServiceHandle(std::shared_ptr<HandleObject> object)
{
    return reinterpret_cast<SC_HANDLE>(registerHandle(std::move(object)));
}

std::shared_ptr<ServiceManagerObject> managerOf(SC_HANDLE handle)
{
    return lookupAs<ServiceManagerObject>(reinterpret_cast<HANDLE>(handle));
}

std::shared_ptr<ServiceObject> serviceOf(SC_HANDLE handle)
{
    return lookupAs<ServiceObject>(reinterpret_cast<HANDLE>(handle));
}

DWORD managerRights(DWORD requested)
{
    DWORD rights = (requested & ~kGenericMask) | SC_MANAGER_CONNECT;
    if (requested & GENERIC_READ)
        rights |= READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (requested & GENERIC_WRITE)
        rights |= READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (requested & GENERIC_EXECUTE)
        rights |= READ_CONTROL | SC_MANAGER_LOCK;
    if (requested & GENERIC_ALL)
        rights |= SC_MANAGER_ALL_ACCESS;
    return rights;
}

DWORD serviceRights(DWORD requested)
{
    DWORD rights = requested & ~kGenericMask;
    if (requested & GENERIC_READ)
        rights |= READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                  SERVICE_ENUMERATE_DEPENDENTS;
    if (requested & GENERIC_WRITE)
        rights |= READ_CONTROL | SERVICE_CHANGE_CONFIG;
    if (requested & GENERIC_EXECUTE)
        rights |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                  SERVICE_USER_DEFINED_CONTROL;
    if (requested & GENERIC_ALL)
        rights |= SERVICE_ALL_ACCESS;
    return rights;
}

bool allowedForUser(DWORD rights, bool manager)
{
    const DWORD allowed = manager ? SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS |
                                        READ_CONTROL
                                  : SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                        SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;
    return (rights & ~allowed) == 0;
}

DWORD changeServices(const std::function<DWORD(machine::State&)>& change)
{
    DWORD error = ERROR_SUCCESS;
    try {
        machine::current()->update([&](machine::State& state) { error = change(state); });
    } catch (const std::exception&) {
        return kErrorInvalidData;
    }
    return error;
}

BOOL finish(DWORD error)
{
    if (error == ERROR_SUCCESS)
        return TRUE;
    SetLastError(error);
    return FALSE;
}

void noteServiceOpened(const std::string& name)
{
    auto& counts = openCounts();
    std::lock_guard guard(counts.mutex);
    ++counts.byName[machine::toUpper(name)];
}

int noteServiceClosed(const std::string& name)
{
    auto& counts = openCounts();
    std::lock_guard guard(counts.mutex);
    auto it = counts.byName.find(machine::toUpper(name));
    if (it == counts.byName.end())
        return 0;
    const int left = --it->second;
    if (left <= 0)
        counts.byName.erase(it);
    return left;
}

int openServiceHandles(const std::string& name)
{
    auto& counts = openCounts();
    std::lock_guard guard(counts.mutex);
    auto it = counts.byName.find(machine::toUpper(name));
    return it == counts.byName.end() ? 0 : it->second;
}

}  // namespace win::detail
