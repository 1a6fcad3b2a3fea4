#pragma once
// AES-128 encryption of one block, byte by byte, for the authentication challenge. It keeps no
// tables between calls and shares nothing with the firmware cipher.

#include <cstdint>

namespace image {

// Encrypts `block` in place under the 16-byte `key` (10 rounds).
void EncryptChallengeBlock(const std::uint8_t key[16], std::uint8_t block[16]);

}  // namespace image
