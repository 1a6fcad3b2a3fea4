#pragma once
// Small helpers for the image tests: pseudo-random bytes, and AES through libcrypto called
// directly, a reference path beside the loader's own wrapper. Folders, files and Intel HEX text
// come from the shared fixtures (tests/support/fixtures).

#include <cstdint>
#include <string>
#include <vector>

namespace image_test {

// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t n, std::uint32_t seed);

std::string AsString(const std::vector<std::uint8_t>& bytes);

// AES-192-CBC without padding; the length must be a whole number of 16-byte blocks.
std::string OpenSslEncrypt192(const std::string& plain, const std::uint8_t key[24],
                              const std::uint8_t iv[16]);
std::string OpenSslDecrypt192(const std::string& cipher, const std::uint8_t key[24],
                              const std::uint8_t iv[16]);
// The same under the firmware file key and initialisation vector.
std::string OpenSslEncryptAsFirmware(const std::string& plain);
std::string OpenSslDecryptAsFirmware(const std::string& cipher);
// AES-128-ECB of one block.
std::string OpenSslEncrypt128Block(const std::string& block, const std::uint8_t key[16]);

}  // namespace image_test
