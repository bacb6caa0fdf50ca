// Where salts and master keys come from: anything that fills a buffer. The
// library's random pool plugs in here; tests pass libgcrypt or fixed bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace kx::crypto {

using RandomSource = std::function<bool(std::span<std::uint8_t>)>;

// libgcrypt's generator. Master keys want the very strong level, which
// reseeds from the system on every call and so is slow.
RandomSource gcryptRandom(bool veryStrong = true);

}  // namespace kx::crypto
