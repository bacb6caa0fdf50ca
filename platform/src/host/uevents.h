// The kernel's device events (uevents), as a machine following the host's
// disks hears of a disk plugged in or pulled out: a netlink socket on the
// kernel's multicast group and the records it delivers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace host {

// The largest record read; the kernel's own are at most a few KiB.
constexpr std::size_t kUeventRecordMax = 8192;

struct Uevent {
    std::string action;     // add, remove, change, bind, ...
    std::string devpath;    // /devices/...
    std::string subsystem;  // block, usb, ...
};

// One record as the kernel sends it: "ACTION@DEVPATH\0KEY=VALUE\0...". Empty
// when the record is not one: cut short, a field without its NUL, a field
// without '=', no SUBSYSTEM, an ACTION that contradicts the header, or
// longer than kUeventRecordMax.
std::optional<Uevent> parseUevent(const char* data, std::size_t size);

// Whether an event may change the host's disks: a block or USB device added,
// removed or changed.
bool touchesDisks(const Uevent& event);

// The kernel's uevent socket, non-blocking; not open where none can be had.
class UeventSocket {
public:
    UeventSocket();
    ~UeventSocket();
    UeventSocket(const UeventSocket&) = delete;
    UeventSocket& operator=(const UeventSocket&) = delete;

    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Reads every record waiting. True when one touched disks, or when
    // records were lost or cut (the socket overflowed), so that what they
    // said cannot be known.
    bool drain();

private:
    int fd_ = -1;
};

}  // namespace host
