// Starting, stopping and asking after services. Drivers start when their
// image file is there; programs cannot run as services on this machine.
#include <functional>
#include <string>

#include "crypt/crypt_driver.h"
#include "platform/win_api.h"
#include "platform/win_svc.h"
#include "services/service_handles.h"
#include "text/text_util.h"

namespace win {

namespace {

bool isDriver(DWORD type) { return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER; }

// Driver image paths are relative to the system root unless they say
// otherwise.
std::string driverFile(const std::string& imagePath)
{
    if (machine::startsWithNoCase(imagePath, "\\SystemRoot\\"))
        return "C:\\Windows\\" + imagePath.substr(12);
    if (machine::startsWithNoCase(imagePath, "\\??\\"))
        return imagePath.substr(4);
    if (imagePath.size() > 2 && imagePath[1] == ':')
        return imagePath;
    return "C:\\Windows\\" + imagePath;
}

bool fileThere(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void fillStatus(const machine::Service& service, SERVICE_STATUS* status)
{
    *status = SERVICE_STATUS{};
    status->dwServiceType = service.type;
    status->dwCurrentState = service.running ? SERVICE_RUNNING : SERVICE_STOPPED;
    status->dwControlsAccepted = service.running ? DWORD{SERVICE_ACCEPT_STOP} : DWORD{0};
}

// Runs act on the service a handle names, when the handle carries right.
BOOL onService(SC_HANDLE handle, DWORD right, const std::function<DWORD(machine::Service&)>& act)
{
    const auto service = detail::serviceOf(handle);
    if (!service)
        return detail::finish(ERROR_INVALID_HANDLE);
    if (!(service->access & right))
        return detail::finish(ERROR_ACCESS_DENIED);
    return detail::finish(detail::changeServices([&](machine::State& state) -> DWORD {
        auto* record = machine::serviceNamed(state, service->name);
        return record ? act(*record) : ERROR_SERVICE_DOES_NOT_EXIST;
    }));
}

// Looked up before the state is changed: the file functions read the
// machine themselves.
bool imageThere(SC_HANDLE handle)
{
    const auto service = detail::serviceOf(handle);
    try {
        const auto state = machine::current()->readWithoutNames();
        const auto* record = service ? machine::serviceNamed(*state, service->name) : nullptr;
        return record && fileThere(driverFile(record->imagePath));
    } catch (const std::exception&) {
        return false;
    }
}

constexpr DWORD kErrorServiceCannotAcceptCtrl = 1061;

// What the encryption driver's device allows: one driver holds its name,
// and ours does not go while volumes are mounted through it.
struct CryptDevice {
    bool heldByOther = false;
    bool volumesMounted = false;
};

CryptDevice cryptDevice(SC_HANDLE handle)
{
    CryptDevice d;
    const auto service = detail::serviceOf(handle);
    try {
        const auto state = machine::current()->readWithoutNames();
        d.heldByOther = state->settings.cryptDriverVersion != 0;
        for (const auto& s : state->services)
            if (s.running && detail::isCryptDriverService(s) && !(service && machine::equalsNoCase(s.name, service->name)))
                d.heldByOther = true;
        d.volumesMounted = !state->cryptVolumes.empty();
    } catch (const std::exception&) {
    }
    return d;
}

}  // namespace

BOOL StartServiceA(SC_HANDLE handle, DWORD, LPCSTR*)
{
    const bool imageFound = imageThere(handle);
    const CryptDevice crypt = cryptDevice(handle);
    return onService(handle, SERVICE_START, [&](machine::Service& service) -> DWORD {
        if (service.markedForDelete)
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        if (service.running)
            return ERROR_SERVICE_ALREADY_RUNNING;
        if (service.startType == SERVICE_DISABLED)
            return ERROR_SERVICE_DISABLED;
        if (!isDriver(service.type))
            return ERROR_SERVICE_REQUEST_TIMEOUT;  // no program ever reports in
        if (!imageFound)
            return ERROR_FILE_NOT_FOUND;
        if (detail::isCryptDriverService(service) && crypt.heldByOther)
            return ERROR_ALREADY_EXISTS;  // the driver cannot make its device
        service.running = true;
        return ERROR_SUCCESS;
    });
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status)
{
    if (!status)
        return detail::finish(ERROR_INVALID_PARAMETER);
    const DWORD right = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                        : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                                 : SERVICE_PAUSE_CONTINUE;
    const CryptDevice crypt = cryptDevice(handle);
    return onService(handle, right, [&](machine::Service& service) -> DWORD {
        if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE)
            return ERROR_INVALID_SERVICE_CONTROL;  // drivers take no other control
        if (!service.running)
            return ERROR_SERVICE_NOT_ACTIVE;
        // Mounted volumes would be left without their driver.
        if (control == SERVICE_CONTROL_STOP && detail::isCryptDriverService(service) && crypt.volumesMounted &&
            !crypt.heldByOther)
            return kErrorServiceCannotAcceptCtrl;
        if (control == SERVICE_CONTROL_STOP)
            service.running = false;
        fillStatus(service, status);
        return ERROR_SUCCESS;
    });
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status)
{
    if (!status)
        return detail::finish(ERROR_INVALID_PARAMETER);
    return onService(handle, SERVICE_QUERY_STATUS, [&](machine::Service& service) -> DWORD {
        fillStatus(service, status);
        return ERROR_SUCCESS;
    });
}

}  // namespace win
