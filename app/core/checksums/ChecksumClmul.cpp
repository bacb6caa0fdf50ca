// Folding with carry-less multiplication. The data is a polynomial, first
// bit highest; a 128-bit block A = H x^64 + L that stands D bits ahead of
// the block it is folded onto becomes H (x^(D+64) mod P) + L (x^D mod P),
// which has the same remainder modulo P. Eight registers run side by side
// so the multiplier is never idle: eight blocks (128 bytes) a step with
// PCLMULQDQ, sixteen (256 bytes) with VPCLMULQDQ on 256-bit registers. At
// the end they fold into one block whose 16 bytes have the same CRC as
// everything folded, and the table engine finishes from there.
#include <array>

#include "app/core/checksums/ChecksumEngines.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_CLMUL 1
#define CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#define WIDE_TARGET __attribute__((target("pclmul,sse4.1,avx2,vpclmulqdq")))
#endif

namespace checksum {

#ifdef ORVANE_CLMUL

namespace {

// x^n mod P for a polynomial of the given width (P without its top bit).
constexpr std::uint64_t PowerOfX(unsigned n, std::uint32_t poly, int width)
{
    const std::uint64_t top = std::uint64_t{1} << width;
    std::uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & top)
            r ^= top | poly;
    }
    return r;
}

struct FoldKey {
    std::uint64_t low;   // x^D mod P
    std::uint64_t high;  // x^(D+64) mod P
};

// Keys for distances of 1 to 16 blocks; index 0 is unused.
using FoldKeys = std::array<FoldKey, 17>;

constexpr FoldKeys MakeKeys(std::uint32_t poly, int width)
{
    FoldKeys keys{};
    for (unsigned k = 1; k < keys.size(); ++k)
        keys[k] = {PowerOfX(128 * k, poly, width), PowerOfX(128 * k + 64, poly, width)};
    return keys;
}

constexpr auto kCrc32Keys = MakeKeys(0x04C11DB7u, 32);
constexpr auto kCrc16Keys = MakeKeys(0x1021u, 16);

CLMUL_TARGET inline __m128i Key(const FoldKey& key)
{
    return _mm_set_epi64x(static_cast<long long>(key.high), static_cast<long long>(key.low));
}

// A block as a 128-bit polynomial: the first byte holds the top bits.
CLMUL_TARGET inline __m128i Load(const std::uint8_t* p)
{
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

CLMUL_TARGET inline __m128i Fold(__m128i block, __m128i key)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(block, key, 0x11), _mm_clmulepi64_si128(block, key, 0x00));
}

CLMUL_TARGET inline __m128i FoldInto(__m128i block, __m128i key, const std::uint8_t* next)
{
    return _mm_xor_si128(Fold(block, key), Load(next));
}

// Folds `blocks` (at least one) whole 16-byte blocks, with `top` added to
// the first four bytes, into 16 bytes written to `out` in message order.
CLMUL_TARGET void FoldBlocks(std::uint32_t top, const std::uint8_t* p, std::size_t blocks,
                             const FoldKeys& keys, std::uint8_t* out)
{
    const __m128i start = _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(top)), 12);
    __m128i acc;
    std::size_t done;
    if (blocks >= 16) {
        __m128i r0 = _mm_xor_si128(Load(p), start), r1 = Load(p + 16), r2 = Load(p + 32), r3 = Load(p + 48),
                r4 = Load(p + 64), r5 = Load(p + 80), r6 = Load(p + 96), r7 = Load(p + 112);
        const __m128i k8 = Key(keys[8]);
        for (done = 8; done + 8 <= blocks; done += 8) {
            const std::uint8_t* q = p + 16 * done;
            r0 = FoldInto(r0, k8, q);
            r1 = FoldInto(r1, k8, q + 16);
            r2 = FoldInto(r2, k8, q + 32);
            r3 = FoldInto(r3, k8, q + 48);
            r4 = FoldInto(r4, k8, q + 64);
            r5 = FoldInto(r5, k8, q + 80);
            r6 = FoldInto(r6, k8, q + 96);
            r7 = FoldInto(r7, k8, q + 112);
        }
        // Each register onto the last one, by its distance from it.
        acc = _mm_xor_si128(r7, Fold(r6, Key(keys[1])));
        acc = _mm_xor_si128(acc, Fold(r5, Key(keys[2])));
        acc = _mm_xor_si128(acc, Fold(r4, Key(keys[3])));
        acc = _mm_xor_si128(acc, Fold(r3, Key(keys[4])));
        acc = _mm_xor_si128(acc, Fold(r2, Key(keys[5])));
        acc = _mm_xor_si128(acc, Fold(r1, Key(keys[6])));
        acc = _mm_xor_si128(acc, Fold(r0, Key(keys[7])));
    } else {
        acc = _mm_xor_si128(Load(p), start);
        done = 1;
    }
    const __m128i k1 = Key(keys[1]);
    for (; done < blocks; ++done)
        acc = FoldInto(acc, k1, p + 16 * done);
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(acc, reverse));
}

WIDE_TARGET inline __m256i WideKey(const FoldKey& key)
{
    const auto high = static_cast<long long>(key.high), low = static_cast<long long>(key.low);
    return _mm256_set_epi64x(high, low, high, low);
}

// Two blocks, each as its own 128-bit polynomial.
WIDE_TARGET inline __m256i WideLoad(const std::uint8_t* p)
{
    const __m256i reverse = _mm256_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5,
                                            6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), reverse);
}

WIDE_TARGET inline __m256i WideFold(__m256i blocks, __m256i key)
{
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(blocks, key, 0x11), _mm256_clmulepi64_epi128(blocks, key, 0x00));
}

WIDE_TARGET inline __m256i WideFoldInto(__m256i blocks, __m256i key, const std::uint8_t* next)
{
    return _mm256_xor_si256(WideFold(blocks, key), WideLoad(next));
}

// FoldBlocks, sixteen blocks a step; at least sixteen blocks.
WIDE_TARGET void FoldBlocksWide(std::uint32_t top, const std::uint8_t* p, std::size_t blocks, const FoldKeys& keys,
                                std::uint8_t* out)
{
    const __m256i start = _mm256_set_epi32(0, 0, 0, 0, static_cast<int>(top), 0, 0, 0);
    __m256i r0 = _mm256_xor_si256(WideLoad(p), start), r1 = WideLoad(p + 32), r2 = WideLoad(p + 64),
            r3 = WideLoad(p + 96), r4 = WideLoad(p + 128), r5 = WideLoad(p + 160), r6 = WideLoad(p + 192),
            r7 = WideLoad(p + 224);
    const __m256i k16 = WideKey(keys[16]);
    std::size_t done = 16;
    for (; done + 16 <= blocks; done += 16) {
        const std::uint8_t* q = p + 16 * done;
        r0 = WideFoldInto(r0, k16, q);
        r1 = WideFoldInto(r1, k16, q + 32);
        r2 = WideFoldInto(r2, k16, q + 64);
        r3 = WideFoldInto(r3, k16, q + 96);
        r4 = WideFoldInto(r4, k16, q + 128);
        r5 = WideFoldInto(r5, k16, q + 160);
        r6 = WideFoldInto(r6, k16, q + 192);
        r7 = WideFoldInto(r7, k16, q + 224);
    }
    // Registers onto the last one, both halves by the same distance; then
    // its first block onto its second.
    __m256i acc = _mm256_xor_si256(r7, WideFold(r6, WideKey(keys[2])));
    acc = _mm256_xor_si256(acc, WideFold(r5, WideKey(keys[4])));
    acc = _mm256_xor_si256(acc, WideFold(r4, WideKey(keys[6])));
    acc = _mm256_xor_si256(acc, WideFold(r3, WideKey(keys[8])));
    acc = _mm256_xor_si256(acc, WideFold(r2, WideKey(keys[10])));
    acc = _mm256_xor_si256(acc, WideFold(r1, WideKey(keys[12])));
    acc = _mm256_xor_si256(acc, WideFold(r0, WideKey(keys[14])));
    __m128i last = _mm_xor_si128(_mm256_extracti128_si256(acc, 1),
                                 Fold(_mm256_castsi256_si128(acc), Key(keys[1])));
    const __m128i k1 = Key(keys[1]);
    for (; done < blocks; ++done)
        last = FoldInto(last, k1, p + 16 * done);
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(last, reverse));
}

// Below this the tables are as quick and need no final step.
constexpr std::size_t kFoldMinimum = 64;
// The wide fold starts with sixteen blocks.
constexpr std::size_t kWideMinimum = 256;

}  // namespace

bool WideClmulAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return ClmulAvailable() && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq");
    }();
    return available;
}

bool ClmulAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3") &&
               __builtin_cpu_supports("sse4.1");
    }();
    return available;
}

std::uint32_t Crc32Clmul(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    if (count < kFoldMinimum)
        return Crc32Sliced(state, data, count);
    const std::size_t blocks = count / 16;
    std::uint8_t folded[16];
    FoldBlocks(state, data, blocks, kCrc32Keys, folded);
    return Crc32Sliced(Crc32Sliced(0, folded, 16), data + 16 * blocks, count % 16);
}

std::uint16_t Crc16Clmul(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    if (count < kFoldMinimum)
        return Crc16Sliced(state, data, count);
    const std::size_t blocks = count / 16;
    std::uint8_t folded[16];
    FoldBlocks(std::uint32_t{state} << 16, data, blocks, kCrc16Keys, folded);
    return Crc16Sliced(Crc16Sliced(0, folded, 16), data + 16 * blocks, count % 16);
}

std::uint32_t Crc32WideClmul(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    if (count < kWideMinimum)
        return Crc32Clmul(state, data, count);
    const std::size_t blocks = count / 16;
    std::uint8_t folded[16];
    FoldBlocksWide(state, data, blocks, kCrc32Keys, folded);
    return Crc32Sliced(Crc32Sliced(0, folded, 16), data + 16 * blocks, count % 16);
}

std::uint16_t Crc16WideClmul(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    if (count < kWideMinimum)
        return Crc16Clmul(state, data, count);
    const std::size_t blocks = count / 16;
    std::uint8_t folded[16];
    FoldBlocksWide(std::uint32_t{state} << 16, data, blocks, kCrc16Keys, folded);
    return Crc16Sliced(Crc16Sliced(0, folded, 16), data + 16 * blocks, count % 16);
}

#else

bool ClmulAvailable() { return false; }
bool WideClmulAvailable() { return false; }

std::uint32_t Crc32WideClmul(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    return Crc32Sliced(state, data, count);
}

std::uint16_t Crc16WideClmul(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    return Crc16Sliced(state, data, count);
}

std::uint32_t Crc32Clmul(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    return Crc32Sliced(state, data, count);
}

std::uint16_t Crc16Clmul(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    return Crc16Sliced(state, data, count);
}

#endif

Crc32Engine BestCrc32()
{
    static const Crc32Engine engine =
        WideClmulAvailable() ? Crc32WideClmul : ClmulAvailable() ? Crc32Clmul : Crc32Sliced;
    return engine;
}

Crc16Engine BestCrc16()
{
    static const Crc16Engine engine =
        WideClmulAvailable() ? Crc16WideClmul : ClmulAvailable() ? Crc16Clmul : Crc16Sliced;
    return engine;
}

const char* BestEngineName() { return WideClmulAvailable() ? "wide" : ClmulAvailable() ? "clmul" : "sliced"; }

}  // namespace checksum
