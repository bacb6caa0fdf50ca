// A second descriptor on a host block device, opened O_DIRECT, for the
// transfers whose buffer and range are aligned to the device's logical
// block: they bypass the host's page cache, so a read-back reads the medium
// and a large write does not push the host's own files out of memory.
#pragma once

#include <cstdint>

namespace win::detail {

class DirectIo {
public:
    DirectIo() = default;
    DirectIo(const DirectIo&) = delete;
    DirectIo& operator=(const DirectIo&) = delete;
    ~DirectIo();

    // The O_DIRECT descriptor for this transfer, or `buffered` when the
    // transfer is not aligned or the device takes no direct I/O.
    int fdFor(int buffered, const void* buffer, std::uint64_t offset, std::uint64_t count);
    // Forgets the descriptor: the buffered one it came from was replaced.
    void reset();

private:
    int fd_ = -1;
    unsigned block_ = 0;
    bool opened_ = false;
};

}  // namespace win::detail
