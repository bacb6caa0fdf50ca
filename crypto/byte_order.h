// Fixed-position fields of on-disk records, read and written in an explicit
// byte order. A field's place is part of its type, so a field that would run
// past its record does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kx::crypto {

enum class ByteOrder { Little, Big };

template <std::size_t Offset, std::size_t Size, std::size_t RecordSize>
struct ByteRange {
    static_assert(Size > 0 && Offset + Size <= RecordSize, "field runs past its record");
    static constexpr std::size_t offset = Offset;
    static constexpr std::size_t size = Size;

    static std::span<std::uint8_t, Size> in(std::span<std::uint8_t, RecordSize> record)
    {
        return record.template subspan<Offset, Size>();
    }
    static std::span<const std::uint8_t, Size> view(std::span<const std::uint8_t, RecordSize> record)
    {
        return record.template subspan<Offset, Size>();
    }
};

template <typename T, std::size_t Offset, std::size_t RecordSize, ByteOrder Order>
struct IntField : ByteRange<Offset, sizeof(T), RecordSize> {
    static_assert(sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8, "unexpected field width");
    using Range = ByteRange<Offset, sizeof(T), RecordSize>;

    static T get(std::span<const std::uint8_t, RecordSize> record)
    {
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const std::size_t at = Order == ByteOrder::Big ? i : sizeof(T) - 1 - i;
            value = static_cast<T>((value << 8) | record[Offset + at]);
        }
        return value;
    }

    static void set(std::span<std::uint8_t, RecordSize> record, T value)
    {
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const std::size_t at = Order == ByteOrder::Big ? sizeof(T) - 1 - i : i;
            record[Offset + at] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
};

// For computations on loose buffers, outside any record.
inline void storeLittle32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i, v >>= 8)
        p[i] = static_cast<std::uint8_t>(v);
}

}  // namespace kx::crypto
