// SHA-256 through the system's cipher library (CNG).

#include "platform/sha256.h"

#include "platform/windows/windows_api.h"
// windows.h first: the cipher library's header needs its types.
#include <bcrypt.h>

#include <climits>

namespace platform {

std::optional<Sha256Digest> Sha256Of(const std::uint8_t* data, std::size_t n) {
  if (data == nullptr && n != 0) return std::nullopt;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return std::nullopt;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // The call takes a 32-bit length: a long input goes in slices.
  constexpr std::size_t kSlice = std::size_t{1} << 30;
  for (std::size_t done = 0; ok && done < n;) {
    const std::size_t take = n - done < kSlice ? n - done : kSlice;
    ok = BCRYPT_SUCCESS(::BCryptHashData(hash, const_cast<PUCHAR>(data + done), static_cast<ULONG>(take), 0));
    done += take;
  }
  Sha256Digest digest{};
  ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  if (hash != nullptr) ::BCryptDestroyHash(hash);
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return std::nullopt;
  return digest;
}

}  // namespace platform
