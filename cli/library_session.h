// The storage library for the length of one command: started, the disks
// probed, and everything released again on the way out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kx/kx.h"

namespace cli {

// A failure the user is told about; the command ends with exit code 1.
struct CommandFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class LibrarySession {
public:
    // onlyUsbId: the list holds only the disk of that USB device (a worker
    // of --all, given its disk), and no other disk is opened.
    explicit LibrarySession(const std::optional<std::string>& onlyUsbId = std::nullopt);  // throws CommandFailure
    ~LibrarySession();
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;

    // Destroying the device list dismounts the volumes loaded through it;
    // a volume the command loaded for the operator stays until unloaded.
    void keepLoadedVolumes() { keepLoaded_ = true; }

private:
    bool keepLoaded_ = false;
};

}  // namespace cli
