// The service control manager: opening it, creating, opening, deleting
// services, and closing their handles.
#include <algorithm>
#include <cstring>

#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "platform/win_svc.h"
#include "services/service_handles.h"
#include "text/text_util.h"

namespace win {

namespace {

constexpr std::size_t kMaxServiceName = 256;

bool validName(LPCSTR name)
{
    if (!name || !*name || std::strlen(name) > kMaxServiceName)
        return false;
    return std::strpbrk(name, "/\\") == nullptr;
}

bool validType(DWORD type)
{
    const DWORD base = type & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    const bool driver = base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER;
    const bool program = base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS;
    // Only programs may interact with the desktop.
    return program || (driver && base == type);
}

bool isDriver(DWORD type) { return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER; }

DWORD checkConfiguration(DWORD type, DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR group,
                         LPDWORD tagId)
{
    if (!validType(type) || startType > SERVICE_DISABLED || errorControl > SERVICE_ERROR_CRITICAL)
        return ERROR_INVALID_PARAMETER;
    // Boot and system start belong to drivers, and tags to load-order groups.
    if (startType < SERVICE_AUTO_START && !isDriver(type))
        return ERROR_INVALID_PARAMETER;
    if (!binaryPath || !*binaryPath || (tagId && (!group || !*group)))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

bool nameTaken(const machine::State& state, const std::string& name)
{
    return std::any_of(state.services.begin(), state.services.end(), [&](const machine::Service& s) {
        return machine::equalsNoCase(s.name, name) || machine::equalsNoCase(s.displayName, name);
    });
}

SC_HANDLE openHandleOn(const std::string& name, DWORD rights)
{
    auto object = std::make_shared<detail::ServiceObject>();
    object->name = name;
    object->access = rights;
    detail::noteServiceOpened(name);
    return detail::registerServiceHandle(object);
}

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access)
{
    if (machineName && *machineName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);  // only this machine is reachable
        return nullptr;
    }
    if (databaseName && !machine::equalsNoCase(databaseName, "ServicesActive")) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    const DWORD rights = detail::managerRights(access);
    if (!detail::currentSettings().admin && !detail::allowedForUser(rights, true)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<detail::ServiceManagerObject>();
    object->access = rights;
    return detail::registerServiceHandle(object);
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR, LPCSTR, LPCSTR)
{
    const auto scm = detail::managerOf(manager);
    DWORD error = !scm                                           ? ERROR_INVALID_HANDLE
                  : !(scm->access & SC_MANAGER_CREATE_SERVICE)   ? ERROR_ACCESS_DENIED
                  : !validName(name)                             ? ERROR_INVALID_NAME
                  : checkConfiguration(serviceType, startType, errorControl, binaryPath, loadOrderGroup, tagId);
    const std::string display = displayName && *displayName ? displayName : (name ? name : "");
    if (error == ERROR_SUCCESS) {
        error = detail::changeServices([&](machine::State& state) -> DWORD {
            if (const auto* existing = machine::serviceNamed(state, name))
                return existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
            if (nameTaken(state, display))
                return ERROR_DUPLICATE_SERVICE_NAME;
            machine::Service service;
            service.name = name;
            service.displayName = display;
            service.type = serviceType;
            service.startType = startType;
            service.errorControl = errorControl;
            service.imagePath = binaryPath;
            state.services.push_back(service);
            return ERROR_SUCCESS;
        });
    }
    if (tagId && error == ERROR_SUCCESS)
        *tagId = 0;
    if (!detail::finish(error))
        return nullptr;
    return openHandleOn(name, detail::serviceRights(access));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    if (!detail::managerOf(manager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!validName(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const DWORD rights = detail::serviceRights(access);
    if (!detail::currentSettings().admin && !detail::allowedForUser(rights, false)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::string stored;
    try {
        const auto state = machine::current()->readWithoutNames();
        if (const auto* service = machine::serviceNamed(*state, name))
            stored = service->name;
    } catch (const std::exception&) {
    }
    if (stored.empty()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return openHandleOn(stored, rights);
}

BOOL DeleteService(SC_HANDLE handle)
{
    const auto service = detail::serviceOf(handle);
    if (!service)
        return detail::finish(ERROR_INVALID_HANDLE);
    if (!(service->access & DELETE))
        return detail::finish(ERROR_ACCESS_DENIED);
    return detail::finish(detail::changeServices([&](machine::State& state) -> DWORD {
        auto* record = machine::serviceNamed(state, service->name);
        if (!record)
            return ERROR_SERVICE_DOES_NOT_EXIST;
        if (record->markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        // It goes when it is stopped and its last handle is closed.
        record->markedForDelete = true;
        return ERROR_SUCCESS;
    }));
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    const auto service = detail::serviceOf(handle);
    // Only handles of the manager and its services close here.
    if ((!service && !detail::managerOf(handle)) || !detail::unregisterHandle(reinterpret_cast<HANDLE>(handle)))
        return detail::finish(ERROR_INVALID_HANDLE);
    if (service && detail::noteServiceClosed(service->name) == 0) {
        detail::changeServices([&](machine::State& state) -> DWORD {
            auto& all = state.services;
            all.erase(std::remove_if(all.begin(), all.end(),
                                     [&](const machine::Service& s) {
                                         return machine::equalsNoCase(s.name, service->name) && s.markedForDelete &&
                                                !s.running;
                                     }),
                      all.end());
            return ERROR_SUCCESS;
        });
    }
    return TRUE;
}

}  // namespace win
