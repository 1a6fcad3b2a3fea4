#pragma once
// AES through libcrypto's EVP interface, padding off: the one place where the loader, the
// packing tool and the device simulator meet the cipher library.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct evp_cipher_ctx_st;  // libcrypto's cipher context

namespace image {

enum class AesMode {
  k128Ecb,  // the authentication challenge: one block under a 16-byte key
  k192Cbc,  // firmware files: one CBC stream under a 24-byte key from a 16-byte vector
};

enum class CipherDirection { kEncrypt, kDecrypt };

// One cipher stream. Not shared between threads: each caller makes its own.
class AesCipher {
 public:
  // `key` must hold the mode's key length (16 or 24 bytes) and `iv` 16 bytes for CBC (it is
  // ignored for ECB). A wrong length, or a failure of the library, leaves the cipher not ok.
  AesCipher(AesMode mode, CipherDirection direction, std::span<const std::uint8_t> key,
            std::span<const std::uint8_t> iv = {});
  ~AesCipher();
  AesCipher(AesCipher&& other) noexcept;
  AesCipher& operator=(AesCipher&& other) noexcept;
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  bool ok() const { return m_ctx != nullptr; }

  // Runs `n` bytes, a whole number of 16-byte blocks, from `in` to `out`; a CBC chain runs on
  // from the previous call. `in` and `out` may be the same buffer (not otherwise overlapping).
  // False, with the cipher no longer ok, when it is not ok, `n` is not whole blocks or the
  // library fails; `out` then holds nothing usable.
  bool Run(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

 private:
  struct ContextFree {
    void operator()(evp_cipher_ctx_st* ctx) const;
  };
  std::unique_ptr<evp_cipher_ctx_st, ContextFree> m_ctx;
};

}  // namespace image
