// Have disk drives come or gone since the candidate list was built?
#include <cstring>

#include "windev/pedwin_devices.h"
#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "common/kx_message.h"

namespace kx {

int PedWinDeviceIsChange(int* incnop, int* decnop)
{
    if (!incnop || !decnop) {
        KX_REPORT(source::pedWinBase, "incnop == NULL || decnop == NULL");
        return -1;
    }
    for (PedWinDev* c = candidates(); c; c = c->next)
        c->present = 0;
    int increase = 0;
    const bool listed = forEachPresentDevice(win::GUID_DEVCLASS_DISKDRIVE,
                                             [&](win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id) {
                                                 PedWinDev* known = candidates();
                                                 while (known && !(known->name && std::strcmp(known->name, id) == 0))
                                                     known = known->next;
                                                 // Drives that never became candidates count every time.
                                                 if (known)
                                                     known->present = 1;
                                                 else
                                                     ++increase;
                                                 return true;
                                             });
    if (!listed)
        return 0;
    int decrease = 0;
    for (const PedWinDev* c = candidates(); c; c = c->next)
        if (!c->present)
            ++decrease;
    *incnop = increase;
    *decnop = decrease;
    if (increase && decrease)
        return 3;
    if (increase)
        return 1;
    return decrease ? 2 : 0;
}

// The device layer's name for the same question; a missing count is
// reported under the device records' source.
int PedDeviceIsChange(int* incnop, int* decnop)
{
    if (!incnop || !decnop) {
        KX_REPORT(source::pedDevice, "incnop != NULL && decnop != NULL");
        return 0;
    }
    return PedWinDeviceIsChange(incnop, decnop);
}

}  // namespace kx
