#include "cli/library_session.h"

#include "kx/kx_probe_one.h"

namespace cli {

LibrarySession::LibrarySession(const std::optional<std::string>& onlyUsbId)
{
    if (kx_soft_init() != 1)
        throw CommandFailure("the storage library could not start");
    if ((onlyUsbId ? kx_dev_probe_usb(onlyUsbId->c_str()) : kx_dev_probe()) != 1) {
        kx_soft_exit();
        throw CommandFailure("the disks of this machine could not be listed");
    }
}

LibrarySession::~LibrarySession()
{
    if (!keepLoaded_)
        kx_dev_destroy();
    kx_soft_exit();
}

}  // namespace cli
