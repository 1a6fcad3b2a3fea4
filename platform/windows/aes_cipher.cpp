// AES through the system's cipher library (CNG), padding off. CNG keeps the CBC chain in the
// vector it is given, so one vector per cipher carries the chain from call to call.

#include "platform/aes_cipher.h"

#include "platform/windows/windows_api.h"
// windows.h first: the cipher library's header needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cwchar>

namespace platform {
namespace {

constexpr std::size_t kBlock = 16;

std::size_t KeyLength(AesMode mode) {
  return mode == AesMode::k128Ecb ? 16 : 24;
}

}  // namespace

struct AesCipher::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;  // destroying it wipes the key schedule
  std::array<std::uint8_t, kBlock> iv{};
  bool cbc = false;
  bool encrypt = true;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (key != nullptr) ::BCryptDestroyKey(key);
    if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    WipeSecret(iv);
  }
};

void AesCipher::StateFree::operator()(State* state) const {
  delete state;
}

AesCipher::AesCipher(AesMode mode, CipherDirection direction, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv) {
  const bool cbc = mode == AesMode::k192Cbc;
  if (key.size() != KeyLength(mode) || (cbc && iv.size() != kBlock)) return;
  std::unique_ptr<State, StateFree> state(new State);
  state->cbc = cbc;
  state->encrypt = direction == CipherDirection::kEncrypt;
  if (cbc) std::copy(iv.begin(), iv.end(), state->iv.begin());
  const wchar_t* chaining = cbc ? BCRYPT_CHAIN_MODE_CBC : BCRYPT_CHAIN_MODE_ECB;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(::BCryptSetProperty(state->algorithm, BCRYPT_CHAINING_MODE,
                                          reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chaining)),
                                          static_cast<ULONG>((wcslen(chaining) + 1) * sizeof(wchar_t)), 0)) ||
      !BCRYPT_SUCCESS(::BCryptGenerateSymmetricKey(state->algorithm, &state->key, nullptr, 0,
                                                   const_cast<PUCHAR>(key.data()),
                                                   static_cast<ULONG>(key.size()), 0)))
    return;
  m_state = std::move(state);
}

AesCipher::~AesCipher() = default;
AesCipher::AesCipher(AesCipher&&) noexcept = default;
AesCipher& AesCipher::operator=(AesCipher&&) noexcept = default;

bool AesCipher::Run(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  if (!m_state || n % kBlock != 0 || ((in == nullptr || out == nullptr) && n != 0)) {
    m_state.reset();
    return false;
  }
  State& s = *m_state;
  // The library takes 32-bit lengths: a long input goes in slices of whole blocks.
  constexpr std::size_t kSlice = std::size_t{1} << 20;
  for (std::size_t done = 0; done < n;) {
    const std::size_t take = n - done < kSlice ? n - done : kSlice;
    const auto length = static_cast<ULONG>(take);
    PUCHAR iv = s.cbc ? s.iv.data() : nullptr;
    const ULONG ivLength = s.cbc ? static_cast<ULONG>(s.iv.size()) : 0;
    ULONG produced = 0;
    const NTSTATUS status = s.encrypt ? ::BCryptEncrypt(s.key, const_cast<PUCHAR>(in + done), length, nullptr,
                                                        iv, ivLength, out + done, length, &produced, 0)
                                      : ::BCryptDecrypt(s.key, const_cast<PUCHAR>(in + done), length, nullptr,
                                                        iv, ivLength, out + done, length, &produced, 0);
    if (!BCRYPT_SUCCESS(status) || produced != length) {
      m_state.reset();
      return false;
    }
    done += take;
  }
  return true;
}

void WipeSecret(std::span<std::uint8_t> secret) {
  if (!secret.empty()) ::SecureZeroMemory(secret.data(), secret.size());
}

}  // namespace platform
