// The USB filter driver's own control code: answered by a whole disk whose
// upper filter list names kxusbflt while its service is running.
#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"
#include "text/text_util.h"

namespace win::detail {

namespace {

constexpr const char* kFilterService = "kxusbflt";

bool filterInStack(const machine::State& state, const machine::Disk& disk)
{
    const machine::Service* service = machine::serviceNamed(state, kFilterService);
    if (!service || !service->running)
        return false;
    for (const auto& filter : machine::upperFiltersOf(state, disk))
        if (machine::equalsNoCase(filter, kFilterService))
            return true;
    return false;
}

}  // namespace

BOOL usbFilterNotify(IoctlCall& call)
{
    if (call.device.target.partition != 0 || !filterInStack(*call.device.machine->readWithoutNames(), call.disk))
        return failIoctl(ERROR_INVALID_FUNCTION);
    return TRUE;
}

}  // namespace win::detail
