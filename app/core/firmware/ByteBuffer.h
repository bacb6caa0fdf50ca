// The buffers of region and file transfers.
//
// Growing one leaves the new bytes as they are: every byte is read into or
// cleared by the code that fills it, so zeroing first would only touch tens
// of MiB once more. And a large block freed is kept for the next buffer of
// the same size: an upgrade fills a region-sized buffer several times over,
// and fresh memory costs the system a page fault for every 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace byte_buffer_detail {

void* Allocate(std::size_t size);
void Free(void* block, std::size_t size) noexcept;

}  // namespace byte_buffer_detail

class ByteAllocator {
public:
    using value_type = std::uint8_t;
    template <typename U>
    struct rebind {
        static_assert(sizeof(U) == 1, "for byte buffers only");
        using other = ByteAllocator;
    };

    std::uint8_t* allocate(std::size_t n) { return static_cast<std::uint8_t*>(byte_buffer_detail::Allocate(n)); }
    void deallocate(std::uint8_t* p, std::size_t n) noexcept { byte_buffer_detail::Free(p, n); }
    // resize(n) default-initialises, which for bytes means not at all;
    // assign(n, value) and the like still write their values.
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const ByteAllocator&, const ByteAllocator&) { return true; }
};

using ByteBuffer = std::vector<std::uint8_t, ByteAllocator>;

// Frees the large blocks kept for reuse; the upgrade calls it when it ends,
// so a long-running application does not hold them.
void ReleaseCachedBuffers();
// Bytes kept for reuse now.
std::size_t CachedBufferBytes();
