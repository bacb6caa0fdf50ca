// Buffers for keys, passwords and derived material: kept in locked memory
// (never swapped out) and wiped before they are given back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kx::crypto {

// Overwrites with zeros in a way the compiler may not drop as a dead store.
void secureWipe(void* data, std::size_t size);

inline void secureWipe(std::span<std::uint8_t> bytes)
{
    secureWipe(bytes.data(), bytes.size());
}

// A fixed-size zero-initialised byte buffer in libgcrypt's secure memory.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size);
    explicit SecureBytes(std::span<const std::uint8_t> copyOf);
    ~SecureBytes();

    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::span<std::uint8_t> span() { return {data_, size_}; }
    std::span<const std::uint8_t> span() const { return {data_, size_}; }

private:
    void release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace kx::crypto
