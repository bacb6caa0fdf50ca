#include "host/uevents.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace host {

namespace {

// The kernel's multicast group; udev's own re-broadcasts use another.
constexpr unsigned kKernelGroup = 1;

}  // namespace

std::optional<Uevent> parseUevent(const char* data, std::size_t size)
{
    if (!data || size == 0 || size > kUeventRecordMax || data[size - 1] != '\0')
        return std::nullopt;
    Uevent event;
    std::optional<std::string> actionField;
    bool header = true;
    for (std::size_t at = 0; at < size;) {
        const void* nul = std::memchr(data + at, '\0', size - at);
        if (!nul)
            return std::nullopt;
        const std::string_view field(data + at, static_cast<const char*>(nul) - (data + at));
        at += field.size() + 1;
        if (header) {
            // Anything else on the group (a "libudev" record) has no '@'.
            const std::size_t sign = field.find('@');
            if (sign == 0 || sign == std::string_view::npos || sign + 1 >= field.size() || field[sign + 1] != '/')
                return std::nullopt;
            event.action = field.substr(0, sign);
            event.devpath = field.substr(sign + 1);
            header = false;
            continue;
        }
        const std::size_t equals = field.find('=');
        if (equals == 0 || equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = field.substr(0, equals), value = field.substr(equals + 1);
        if (key == "ACTION")
            actionField = value;
        else if (key == "SUBSYSTEM")
            event.subsystem = value;
    }
    if (header || event.subsystem.empty() || (actionField && *actionField != event.action))
        return std::nullopt;
    return event;
}

bool touchesDisks(const Uevent& event)
{
    if (event.subsystem != "block" && event.subsystem != "usb")
        return false;
    return event.action == "add" || event.action == "remove" || event.action == "change";
}

UeventSocket::UeventSocket()
{
    fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd_ < 0)
        return;
    // A plug is a burst of events; room for many, where the host allows it.
    const int room = 1 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelGroup;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

UeventSocket::~UeventSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool UeventSocket::drain()
{
    if (fd_ < 0)
        return false;
    std::vector<char> buffer(kUeventRecordMax);
    bool touched = false;
    for (;;) {
        sockaddr_nl sender{};
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t got = ::recvmsg(fd_, &message, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {  // records were dropped: any of them may have been a disk
                touched = true;
                continue;
            }
            return touched;  // EAGAIN: nothing more waiting
        }
        // Only the kernel speaks for the devices.
        if (message.msg_namelen != sizeof sender || sender.nl_pid != 0)
            continue;
        if (message.msg_flags & MSG_TRUNC) {
            touched = true;
            continue;
        }
        const auto event = parseUevent(buffer.data(), static_cast<std::size_t>(got));
        if (event && touchesDisks(*event))
            touched = true;
    }
}

}  // namespace host
