// Random bytes from libcrypto's generator, which reseeds itself from the system (after a fork
// too).

#include "platform/random.h"

#include <openssl/rand.h>

#include <climits>
#include <cstddef>

namespace platform {

bool FillRandom(std::span<std::uint8_t> out) {
  // The library takes int lengths.
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t take = out.size() - done < INT_MAX ? out.size() - done : std::size_t{INT_MAX};
    if (RAND_bytes(out.data() + done, static_cast<int>(take)) != 1) return false;
    done += take;
  }
  return true;
}

}  // namespace platform
