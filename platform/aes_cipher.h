#pragma once
// AES without padding, through the system's cipher library: the one place where the loader,
// the packing tool and the device simulator meet the cipher.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {

enum class AesMode {
  k128Ecb,  // the authentication challenge: one block under a 16-byte key
  k192Cbc,  // firmware files: one CBC stream under a 24-byte key from a 16-byte vector
};

enum class CipherDirection { kEncrypt, kDecrypt };

// One cipher stream. Not shared between threads: each caller makes its own. The key schedule
// is wiped from memory when the cipher is destroyed or fails.
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

  bool ok() const { return m_state != nullptr; }

  // Runs `n` bytes, a whole number of 16-byte blocks, from `in` to `out`; a CBC chain runs on
  // from the previous call. `in` and `out` may be the same buffer (not otherwise overlapping).
  // Any n is allowed (long inputs too). False, with the cipher no longer ok, when it is not
  // ok, `n` is not whole blocks or the library fails; `out` then holds nothing usable.
  bool Run(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

 private:
  struct State;
  struct StateFree {
    void operator()(State* state) const;
  };
  std::unique_ptr<State, StateFree> m_state;
};

// Overwrites `secret` with zeros in a way the compiler may not leave out (key material that
// is no longer needed).
void WipeSecret(std::span<std::uint8_t> secret);

}  // namespace platform
