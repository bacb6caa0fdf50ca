#include "setupapi/setupapi_node_state.h"

namespace win::detail {

namespace {

constexpr DWORD kErrorInvalidData = 13;

// The disk whose node the element stands for, when that node is still listed.
machine::Disk* diskOf(machine::State& state, const Device& device)
{
    if (device.diskSlot < 0 || device.diskSlot >= static_cast<int>(state.disks.size()))
        return nullptr;
    machine::Disk& disk = state.disks[static_cast<size_t>(device.diskSlot)];
    if ((!disk.present && !disk.disabled) || machine::diskInstanceId(disk) != device.instanceId)
        return nullptr;
    return &disk;
}

}  // namespace

DWORD changeNode(const Device& device, const std::function<DWORD(machine::State&, machine::Disk*)>& change)
{
    DWORD error = ERROR_SUCCESS;
    try {
        machine::current()->update([&](machine::State& state) {
            machine::Disk* disk = diskOf(state, device);
            error = device.diskSlot >= 0 && !disk ? ERROR_NO_SUCH_DEVINST : change(state, disk);
        });
    } catch (const std::exception&) {
        return kErrorInvalidData;
    }
    return error;
}

}  // namespace win::detail
