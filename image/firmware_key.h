#pragma once
// The loader's fixed secrets: the firmware file key with its initialisation vector, and the
// challenge keys. None of them is stored whole; each is built at run time from constants.
// The maker-side packing tool and the device simulator build them through these functions too.

#include <cstdint>

namespace image {

// The 24-byte AES-192 key that encrypts firmware files, and the 16-byte CBC initialisation
// vector that every file starts from.
void BuildFirmwareFileKey(std::uint8_t key[24], std::uint8_t iv[16]);

// The AES-128 key under which the loader encrypts its authentication challenge.
void BuildChallengeKey1(std::uint8_t key[16]);

// The second challenge key. The loader itself never uses it; it is kept for the device side.
void BuildChallengeKey2(std::uint8_t key[16]);

}  // namespace image
