#include "volumes/bitmap_count.h"

#include <cstring>

namespace win::detail {

namespace {

// Eight bytes a step through memcpy, which any alignment allows; four sums
// so the popcounts need not wait on each other.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target_clones("popcnt", "default")))
#endif
std::uint64_t
setBitsOfWords(const std::uint8_t* p, std::size_t words)
{
    std::uint64_t sum[4] = {};
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4) {
        std::uint64_t w[4];
        std::memcpy(w, p + i * 8, sizeof w);
        for (int k = 0; k < 4; ++k)
            sum[k] += static_cast<std::uint64_t>(__builtin_popcountll(w[k]));
    }
    for (; i < words; ++i) {
        std::uint64_t w;
        std::memcpy(&w, p + i * 8, sizeof w);
        sum[0] += static_cast<std::uint64_t>(__builtin_popcountll(w));
    }
    return sum[0] + sum[1] + sum[2] + sum[3];
}

}  // namespace

std::uint64_t countClearBits(const std::uint8_t* p, std::size_t bytes)
{
    const std::size_t words = bytes / 8;
    std::uint64_t set = words ? setBitsOfWords(p, words) : 0;
    for (std::size_t i = words * 8; i < bytes; ++i)
        set += static_cast<std::uint64_t>(__builtin_popcount(p[i]));
    return static_cast<std::uint64_t>(bytes) * 8 - set;
}

}  // namespace win::detail
