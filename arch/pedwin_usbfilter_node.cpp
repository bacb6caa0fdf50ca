// Property changes of a disk drive node through its class installer:
// disable, enable, and the in-place restart used on 64-bit Windows.
#include "arch/pedwin_usbfilter.h"

namespace kx {

namespace {

using source::pedWinBase;

enum class Step { SetParams, CallInstaller, GetParams };

struct Change {
    NodeVisit visit;
    Step failedAt = Step::SetParams;
    bool restartNeeded = false;
};

Change changeNode(const std::string& instanceId, win::DWORD state, win::DWORD scope)
{
    Change change;
    change.visit = atDiskNode(instanceId, [&](win::HDEVINFO set, win::SP_DEVINFO_DATA& data) {
        win::SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(win::SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = win::DIF_PROPERTYCHANGE;
        params.StateChange = state;
        params.Scope = scope;
        params.HwProfile = 0;
        change.failedAt = Step::SetParams;
        if (!win::SetupDiSetClassInstallParamsA(set, &data, &params.ClassInstallHeader, sizeof params))
            return false;
        change.failedAt = Step::CallInstaller;
        if (!win::SetupDiCallClassInstaller(win::DIF_PROPERTYCHANGE, set, &data))
            return false;
        change.failedAt = Step::GetParams;
        win::SP_DEVINSTALL_PARAMS_A install{};
        install.cbSize = sizeof install;
        if (!win::SetupDiGetDeviceInstallParamsA(set, &data, &install))
            return false;
        change.restartNeeded = (install.Flags & (win::DI_NEEDREBOOT | win::DI_NEEDRESTART)) != 0;
        return true;
    });
    return change;
}

}  // namespace

int ChangeUsbStatus(bool disable, const std::string& instanceId)
{
    const Change change =
        changeNode(instanceId, disable ? win::DICS_DISABLE : win::DICS_ENABLE, win::DICS_FLAG_GLOBAL);
    const char* id = instanceId.c_str();
    const int error = static_cast<int>(change.visit.error);
    if (!change.visit.listed) {
        kx_printf("[%s:%s:%d] Fail to get class devices list\n", KX_WHERE(pedWinBase));
        return kUsbFilterFailed;
    }
    if (!change.visit.done) {
        // A node that is no longer listed fails where its parameters are set.
        switch (change.failedAt) {
        case Step::SetParams:
            kx_printf("[%s:%s:%d] Fail to SetupDiSetClassInstallParams(%s), Lasterror:%d\n", KX_WHERE(pedWinBase),
                      id, error);
            break;
        case Step::CallInstaller:
            kx_printf("[%s:%s:%d] Fail to SetupDiCallClassInstaller(%s), Lasterror:%d\n", KX_WHERE(pedWinBase), id,
                      error);
            break;
        case Step::GetParams:
            kx_printf("[%s:%s:%d] Fail to SetupDiGetDeviceInstallParams(%s), Lasterror:%d\n", KX_WHERE(pedWinBase),
                      id, error);
            break;
        }
        return kUsbFilterFailed;
    }
    if (change.restartNeeded) {
        kx_printf("[%s:%s:%d] Need restart\n", KX_WHERE(pedWinBase));
        return kUsbFilterReboot;
    }
    return kUsbFilterDone;
}

int restartUsbNode(const std::string& instanceId)
{
    const Change change = changeNode(instanceId, win::DICS_PROPCHANGE, win::DICS_FLAG_CONFIGSPECIFIC);
    if (!change.visit.done)
        return kUsbFilterFailed;
    return change.restartNeeded ? kUsbFilterReboot : kUsbFilterDone;
}

}  // namespace kx
