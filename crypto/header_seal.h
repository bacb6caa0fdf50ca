// Encrypting a header in the clear under a password: shared by creation and
// password changes.
#pragma once

#include <cstdint>
#include <span>

#include "crypto/volume_keys.h"

namespace kx::crypto {

bool validPassword(PasswordView password);

// Fills plain's salt from random, then encrypts it into out.
[[nodiscard]] HeaderError sealHeader(PasswordView password, const OpenedVolume& volume, PlainHeader& plain,
                                     const RandomSource& random, HeaderBytes& out);

// The header of volume (its fields and key area), without salt.
void layOutHeader(const OpenedVolume& volume, PlainHeader& plain);

}  // namespace kx::crypto
