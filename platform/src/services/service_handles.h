// Handles of the service control manager and of its services, and what the
// service functions share.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/machine.h"
#include "platform/win_svc.h"
#include "system/handles.h"

namespace win::detail {

struct ServiceManagerObject : HandleObject {
    DWORD access = 0;
};

struct ServiceObject : HandleObject {
    std::string name;  // as the service was created
    DWORD access = 0;
};

SC_HANDLE registerServiceHandle(std::shared_ptr<HandleObject> object);
std::shared_ptr<ServiceManagerObject> managerOf(SC_HANDLE handle);
std::shared_ptr<ServiceObject> serviceOf(SC_HANDLE handle);

// Generic rights turned into the specific rights of a manager or service.
DWORD managerRights(DWORD requested);
DWORD serviceRights(DWORD requested);
// What an account without administrator rights may ask for.
bool allowedForUser(DWORD rights, bool manager);

// Runs change on the machine's state and returns its Windows error code
// (ERROR_SUCCESS when done). An unreadable machine gives ERROR_INVALID_DATA.
DWORD changeServices(const std::function<DWORD(machine::State&)>& change);
// TRUE for ERROR_SUCCESS, else FALSE with error as the last error.
BOOL finish(DWORD error);

// Service handles this process holds open, by service name. The count of
// the last handle closed tells whether a service marked for delete may go.
void noteServiceOpened(const std::string& name);
int noteServiceClosed(const std::string& name);
int openServiceHandles(const std::string& name);

}  // namespace win::detail
