#include "tools/maker_crypto.h"

#include <openssl/evp.h>

#include <memory>

#include "image/firmware_key.h"

namespace maker {
namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

// One pass of `cipher` over whole blocks, padding off. False on any cipher error.
bool RunCipher(const EVP_CIPHER* cipher, bool encrypt, const std::uint8_t* key, const std::uint8_t* iv,
               std::span<const std::uint8_t> in, std::uint8_t* out) {
  CtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, iv, encrypt ? 1 : 0) != 1) return false;
  if (EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) return false;
  int produced = 0;
  int total = 0;
  std::size_t done = 0;
  // EVP takes int lengths: feed large inputs in slices.
  constexpr std::size_t kSlice = 1u << 20;
  while (done < in.size()) {
    std::size_t n = in.size() - done < kSlice ? in.size() - done : kSlice;
    if (EVP_CipherUpdate(ctx.get(), out + total, &produced, in.data() + done, static_cast<int>(n)) != 1)
      return false;
    total += produced;
    done += n;
  }
  if (EVP_CipherFinal_ex(ctx.get(), out + total, &produced) != 1) return false;
  total += produced;
  return static_cast<std::size_t>(total) == in.size();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncryptFirmware(std::span<const std::uint8_t> plain) {
  if (plain.size() % 16 != 0) return std::nullopt;
  std::uint8_t key[24];
  std::uint8_t iv[16];
  image::BuildFirmwareFileKey(key, iv);
  std::vector<std::uint8_t> out(plain.size());
  if (!RunCipher(EVP_aes_192_cbc(), true, key, iv, plain, out.data())) return std::nullopt;
  return out;
}

std::optional<std::array<std::uint8_t, 16>> DecryptChallenge(const std::array<std::uint8_t, 16>& block) {
  std::uint8_t key[16];
  image::BuildChallengeKey1(key);
  std::array<std::uint8_t, 16> out{};
  if (!RunCipher(EVP_aes_128_ecb(), false, key, nullptr, block, out.data())) return std::nullopt;
  return out;
}

}  // namespace maker
