#pragma once
// The maker's side of the two ciphers: encrypting firmware files for release (AES-192-CBC
// under the firmware file key) and, inside a device, decrypting the loader's authentication
// challenge (AES-128 under the first challenge key). The loader itself only ever does the
// opposite directions.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace maker {

// Encrypts `plain` as one CBC stream from the fixed initialisation vector, without padding.
// Empty when the length is not a whole number of 16-byte blocks or the cipher fails.
std::optional<std::vector<std::uint8_t>> EncryptFirmware(std::span<const std::uint8_t> plain);

// Decrypts one 16-byte challenge block. Empty when the cipher fails.
std::optional<std::array<std::uint8_t, 16>> DecryptChallenge(const std::array<std::uint8_t, 16>& block);

}  // namespace maker
