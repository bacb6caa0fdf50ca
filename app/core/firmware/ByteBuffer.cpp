#include "app/core/firmware/ByteBuffer.h"

#include <array>
#include <mutex>

namespace {

// Blocks this large are kept: a region (4 or 32 MiB) and the image check's
// read piece (1 MiB). Together they stay well below the upgrade's peak.
constexpr std::size_t kKeptMinimum = 1 << 20;
constexpr std::size_t kKeptTotal = 40 << 20;
// Page-aligned, so a transfer of whole sectors on a real disk can bypass
// the host's page cache.
constexpr std::align_val_t kAlignment{4096};

struct Block {
    void* data = nullptr;
    std::size_t size = 0;
};

struct Kept {
    std::mutex mutex;
    std::array<Block, 4> blocks;
    std::size_t bytes = 0;
};

Kept& kept()
{
    static Kept k;
    return k;
}

}  // namespace

namespace byte_buffer_detail {

void* Allocate(std::size_t size)
{
    if (size >= kKeptMinimum) {
        Kept& k = kept();
        std::lock_guard guard(k.mutex);
        for (Block& b : k.blocks)
            if (b.data && b.size == size) {
                void* data = std::exchange(b.data, nullptr);
                k.bytes -= size;
                return data;
            }
    }
    return ::operator new(size, kAlignment);
}

void Free(void* block, std::size_t size) noexcept
{
    if (block && size >= kKeptMinimum) {
        Kept& k = kept();
        std::lock_guard guard(k.mutex);
        if (k.bytes + size <= kKeptTotal)
            for (Block& b : k.blocks)
                if (!b.data) {
                    b = {block, size};
                    k.bytes += size;
                    return;
                }
    }
    ::operator delete(block, kAlignment);
}

}  // namespace byte_buffer_detail

void ReleaseCachedBuffers()
{
    std::array<Block, 4> blocks;
    {
        Kept& k = kept();
        std::lock_guard guard(k.mutex);
        blocks = std::exchange(k.blocks, {});
        k.bytes = 0;
    }
    for (const Block& b : blocks)
        ::operator delete(b.data, kAlignment);
}

std::size_t CachedBufferBytes()
{
    Kept& k = kept();
    std::lock_guard guard(k.mutex);
    return k.bytes;
}
