#include "common/kx_random_crc.h"

#include "crypto/crc32.h"

namespace kx {

std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size)
{
    return crypto::crc32Steps(crc, {static_cast<const std::uint8_t*>(data), size});
}

}  // namespace kx
