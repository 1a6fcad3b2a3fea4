#pragma once
// Random bytes from the system's cryptographic generator.

#include <cstdint>
#include <span>

namespace platform {

// Fills `out` with unpredictable bytes, fit for IDs that no two processes or machines may
// share (the generator reseeds itself, after a fork too). From any thread. False when the
// generator fails; `out` then holds nothing to rely on and the caller picks its own way.
bool FillRandom(std::span<std::uint8_t> out);

}  // namespace platform
