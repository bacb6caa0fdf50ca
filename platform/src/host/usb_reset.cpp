#include "host/usb_reset.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/host_roots.h"

namespace host {

namespace {

std::string authorize(const std::filesystem::path& file, char value)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return "cannot open " + file.string() + ": " + std::strerror(errno) +
               (errno == EACCES ? " (run as root)" : "");
    const bool ok = ::write(fd, &value, 1) == 1;
    const int saved = errno;
    ::close(fd);
    return ok ? std::string() : "cannot write " + file.string() + ": " + std::strerror(saved);
}

}  // namespace

std::filesystem::path usbDeviceAt(const std::string& port)
{
    return sysfsRoot() / "bus" / "usb" / "devices" / port;
}

std::string resetUsbDevice(const std::filesystem::path& usbDevice, bool comeBack)
{
    const auto file = usbDevice / "authorized";
    if (std::string why = authorize(file, '0'); !why.empty())
        return why;
    return comeBack ? authorize(file, '1') : std::string();
}

}  // namespace host
