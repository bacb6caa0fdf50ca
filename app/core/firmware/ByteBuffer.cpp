#include "app/core/firmware/ByteBuffer.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <mutex>

namespace {

// Blocks this large are kept: a region (4 or 32 MiB) and the image check's
// read piece (1 MiB). Together they stay well below the upgrade's peak.
constexpr std::size_t kKeptMinimum = 1 << 20;
constexpr std::size_t kKeptTotal = 40 << 20;
// Page-aligned, so a transfer of whole sectors on a real disk can bypass
// the host's page cache.
constexpr std::align_val_t kAlignment{4096};
// Blocks from this size on are mapped on their own, on huge-page bounds:
// a region filled for the first time then costs a fault per 2 MiB, not
// one per 4 KiB page.
constexpr std::size_t kHugePage = 2 << 20;
constexpr std::size_t kPage = 4096;

std::size_t MappedLength(std::size_t size)
{
    return (size + kPage - 1) / kPage * kPage;
}

void* MapBlock(std::size_t size)
{
    const std::size_t length = MappedLength(size);
    void* area = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(area, aligned - start);
    if (const std::size_t tail = start + kHugePage - aligned; tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    // Only a hint: without huge pages the block is still good.
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void* NewBlock(std::size_t size)
{
    return size >= kHugePage ? MapBlock(size) : ::operator new(size, kAlignment);
}

void DeleteBlock(void* block, std::size_t size) noexcept
{
    if (!block)
        return;
    if (size >= kHugePage)
        ::munmap(block, MappedLength(size));
    else
        ::operator delete(block, kAlignment);
}

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
    return NewBlock(size);
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
    DeleteBlock(block, size);
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
        DeleteBlock(b.data, b.size);
}

std::size_t CachedBufferBytes()
{
    Kept& k = kept();
    std::lock_guard guard(k.mutex);
    return k.bytes;
}
