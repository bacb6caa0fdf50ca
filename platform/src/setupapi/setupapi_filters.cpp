// Writing a device's filter lists, which the class installer reads when it
// builds the device's stack.
#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "registry/registry_tree.h"
#include "setupapi/setupapi_node_state.h"

namespace win {

BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, const BYTE* buffer,
                                       DWORD size)
{
    const auto ref = detail::deviceAt(set, data);
    if (!ref)
        return FALSE;
    DWORD error = ERROR_SUCCESS;
    if (property != SPDRP_UPPERFILTERS && property != SPDRP_LOWERFILTERS)
        error = ERROR_INVALID_REG_PROPERTY;
    else if (!buffer != (size == 0))
        error = ERROR_INVALID_USER_BUFFER;
    else if (!detail::currentSettings().admin)
        error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) {
        const char* name = property == SPDRP_UPPERFILTERS ? "UpperFilters" : "LowerFilters";
        const std::string keyPath = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + ref->device->instanceId;
        error = detail::changeNode(*ref->device, [&](machine::State& state, machine::Disk*) -> DWORD {
            auto* key = machine::reg::findKey(state.registry, keyPath, true);
            if (!buffer)
                machine::reg::deleteValue(*key, name);
            else
                machine::reg::setValue(*key, name, {REG_MULTI_SZ, std::vector<std::uint8_t>(buffer, buffer + size)});
            return ERROR_SUCCESS;
        });
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
