// The disk drive class installer's property changes: disable, enable and a
// restart of the node. Whether the node asks for a reboot afterwards, or
// refuses, is set per disk.
#include <cstring>
#include <optional>

#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "setupapi/device_nodes.h"
#include "setupapi/setupapi_node_state.h"

namespace win {

namespace {

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

bool validChange(const SP_PROPCHANGE_PARAMS& p)
{
    const bool state = p.StateChange >= DICS_ENABLE && p.StateChange <= DICS_STOP;
    const bool scope = p.Scope == DICS_FLAG_GLOBAL || p.Scope == DICS_FLAG_CONFIGSPECIFIC ||
                       p.Scope == DICS_FLAG_CONFIGGENERAL;
    return state && scope;
}

std::optional<machine::NodeChange> nodeChangeOf(DWORD stateChange)
{
    switch (stateChange) {
    case DICS_ENABLE:
        return machine::NodeEnable;
    case DICS_DISABLE:
        return machine::NodeDisable;
    case DICS_PROPCHANGE:
        return machine::NodePropChange;
    default:
        return std::nullopt;  // start and stop of one profile are not emulated
    }
}

}  // namespace

BOOL SetupDiSetClassInstallParamsA(HDEVINFO set, SP_DEVINFO_DATA* data, SP_CLASSINSTALL_HEADER* params, DWORD size)
{
    const auto ref = detail::deviceAt(set, data);
    if (!ref)
        return FALSE;
    if (!params) {
        if (size != 0)
            return fail(ERROR_INVALID_PARAMETER);
        ref->device->propChange.reset();
        return TRUE;
    }
    if (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (params->InstallFunction != DIF_PROPERTYCHANGE || size != sizeof(SP_PROPCHANGE_PARAMS))
        return fail(ERROR_INVALID_PARAMETER);
    SP_PROPCHANGE_PARAMS change{};
    std::memcpy(&change, params, sizeof change);
    if (!validChange(change))
        return fail(ERROR_INVALID_PARAMETER);
    ref->device->propChange = change;
    return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data)
{
    const auto ref = detail::deviceAt(set, data);
    if (!ref)
        return FALSE;
    detail::Device& device = *ref->device;
    if (function != DIF_PROPERTYCHANGE || device.diskSlot < 0)
        return fail(ERROR_NOT_SUPPORTED);
    if (!device.propChange)
        return fail(ERROR_NO_CLASSINSTALL_PARAMS);
    const auto change = nodeChangeOf(device.propChange->StateChange);
    if (!change)
        return fail(ERROR_NOT_SUPPORTED);
    if (!detail::currentSettings().admin)
        return fail(ERROR_ACCESS_DENIED);
    bool needsReboot = false;
    const DWORD error = detail::changeNode(device, [&](machine::State& state, machine::Disk* disk) -> DWORD {
        if (machine::changeNodeState(*machine::current(), state, *disk, *change, needsReboot))
            return ERROR_SUCCESS;
        return *change == machine::NodeDisable ? DWORD{ERROR_NOT_DISABLEABLE} : DWORD{ERROR_GEN_FAILURE};
    });
    if (error != ERROR_SUCCESS)
        return fail(error);
    if (needsReboot)
        device.installFlags |= DI_NEEDREBOOT;
    return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_A* params)
{
    const auto ref = detail::deviceAt(set, data);
    if (!ref)
        return FALSE;
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A))
        return fail(ERROR_INVALID_USER_BUFFER);
    std::memset(params, 0, sizeof *params);
    params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_A);
    params->Flags = ref->device->installFlags;
    return TRUE;
}

}  // namespace win
