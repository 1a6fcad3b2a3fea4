#pragma once
// AES-128 encryption of one block, for the authentication challenge, through libcrypto.

#include <cstdint>

namespace image {

// Encrypts `block` in place under the 16-byte `key`. False, with `block` untouched, when the
// cipher library fails.
bool EncryptChallengeBlock(const std::uint8_t key[16], std::uint8_t block[16]);

// A cipher for the challenge with EncryptChallengeBlock's promises: the library's, or in tests
// one that fails.
using ChallengeEncrypter = bool (*)(const std::uint8_t key[16], std::uint8_t block[16]);

}  // namespace image
