#include "crypto/secure_bytes.h"

#include <gcrypt.h>

#include <algorithm>
#include <new>
#include <utility>

#include "crypto/gcrypt_setup.h"

namespace kx::crypto {

void secureWipe(void* data, std::size_t size)
{
    volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
    // Keeps the stores ordered before whatever frees the memory.
    asm volatile("" ::"r"(data) : "memory");
}

SecureBytes::SecureBytes(std::size_t size)
{
    if (size == 0)
        return;
    ensureGcrypt();
    data_ = static_cast<std::uint8_t*>(gcry_calloc_secure(size, 1));
    if (!data_)
        throw std::bad_alloc();
    size_ = size;
}

SecureBytes::SecureBytes(std::span<const std::uint8_t> copyOf) : SecureBytes(copyOf.size())
{
    std::copy(copyOf.begin(), copyOf.end(), data_);
}

SecureBytes::~SecureBytes()
{
    release();
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void SecureBytes::release()
{
    if (!data_)
        return;
    secureWipe(data_, size_);
    gcry_free(data_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace kx::crypto
