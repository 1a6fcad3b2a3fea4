// Random bytes from the system's generator (CNG's default, seeded and reseeded by the system).

#include "platform/random.h"

#include "platform/windows/windows_api.h"
// windows.h first: the cipher library's header needs its types.
#include <bcrypt.h>

namespace platform {

bool FillRandom(std::span<std::uint8_t> out) {
  // The call takes a 32-bit length.
  constexpr std::size_t kSlice = std::size_t{1} << 30;
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t take = out.size() - done < kSlice ? out.size() - done : kSlice;
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out.data() + done, static_cast<ULONG>(take),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      return false;
    done += take;
  }
  return true;
}

}  // namespace platform
