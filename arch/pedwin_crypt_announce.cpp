// Telling the shell and the top-level windows that a drive came or goes.
#include "arch/pedwin_crypt_driver.h"

namespace kx {

void announceDriveChange(int drive, DriveChange change)
{
    // This machine has no shell or windows to tell; drive letters come and
    // go through the driver alone.
    (void)drive;
    (void)change;
}

}  // namespace kx
