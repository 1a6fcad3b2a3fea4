#pragma once
// The fixed secrets shared with the loader, built the same way at run time.

#include <cstdint>

namespace maker {

void FirmwareFileKey(std::uint8_t key[24], std::uint8_t iv[16]);
void ChallengeKey1(std::uint8_t key[16]);

}  // namespace maker
