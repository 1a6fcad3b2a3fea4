// AES through libcrypto's EVP interface, padding off.

#include "platform/aes_cipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace platform {
namespace {

constexpr std::size_t kBlock = 16;

const EVP_CIPHER* CipherOf(AesMode mode) {
  return mode == AesMode::k128Ecb ? EVP_aes_128_ecb() : EVP_aes_192_cbc();
}

std::size_t KeyLength(AesMode mode) {
  return mode == AesMode::k128Ecb ? 16 : 24;
}

}  // namespace

// The library's cipher context; freeing it wipes the key schedule.
struct AesCipher::State {
  EVP_CIPHER_CTX* ctx = nullptr;
};

void AesCipher::StateFree::operator()(State* state) const {
  if (state == nullptr) return;
  EVP_CIPHER_CTX_free(state->ctx);
  delete state;
}

AesCipher::AesCipher(AesMode mode, CipherDirection direction, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv) {
  const bool cbc = mode == AesMode::k192Cbc;
  if (key.size() != KeyLength(mode) || (cbc && iv.size() != kBlock)) return;
  std::unique_ptr<State, StateFree> state(new State{EVP_CIPHER_CTX_new()});
  EVP_CIPHER_CTX* c = state->ctx;
  if (c == nullptr ||
      EVP_CipherInit_ex(c, CipherOf(mode), nullptr, key.data(), cbc ? iv.data() : nullptr,
                        direction == CipherDirection::kEncrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(c, 0) != 1)
    return;
  m_state = std::move(state);
}

AesCipher::~AesCipher() = default;
AesCipher::AesCipher(AesCipher&&) noexcept = default;
AesCipher& AesCipher::operator=(AesCipher&&) noexcept = default;

bool AesCipher::Run(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  if (!m_state || n % kBlock != 0) {
    m_state.reset();
    return false;
  }
  EVP_CIPHER_CTX* c = m_state->ctx;
  // The library takes int lengths: a long input goes in slices of whole blocks. Without
  // padding every slice comes out whole, at once.
  constexpr std::size_t kSlice = std::size_t{1} << 20;
  for (std::size_t done = 0; done < n;) {
    const std::size_t take = n - done < kSlice ? n - done : kSlice;
    int produced = 0;
    if (EVP_CipherUpdate(c, out + done, &produced, in + done, static_cast<int>(take)) != 1 ||
        static_cast<std::size_t>(produced) != take) {
      m_state.reset();
      return false;
    }
    done += take;
  }
  return true;
}

void WipeSecret(std::span<std::uint8_t> secret) {
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
}

}  // namespace platform
