// The image tests' reference ciphers on Windows: AES through the system's cipher library
// (BCrypt) called directly, beside the loader's own path through platform/.

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <memory>
#include <random>
#include <stdexcept>

#include "image/firmware_key.h"
#include "tests/image/image_fixtures.h"

namespace image_test {

std::string RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

namespace {

struct AlgorithmCloser {
  void operator()(void* handle) const { ::BCryptCloseAlgorithmProvider(handle, 0); }
};
struct KeyCloser {
  void operator()(void* handle) const { ::BCryptDestroyKey(handle); }
};

void Check(NTSTATUS status) {
  if (status < 0) throw std::runtime_error("BCrypt cipher failed");
}

// AES without padding in `mode` (BCRYPT_CHAIN_MODE_CBC or _ECB); `iv` null for ECB.
std::string RunCipher(const wchar_t* mode, bool encrypt, const std::string& in, const std::uint8_t* key,
                      std::size_t keyLength, const std::uint8_t* iv) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  Check(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0));
  const std::unique_ptr<void, AlgorithmCloser> algorithmHeld(algorithm);
  std::wstring modeName(mode);
  Check(::BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(modeName.data()),
                            static_cast<ULONG>((modeName.size() + 1) * sizeof(wchar_t)), 0));
  BCRYPT_KEY_HANDLE keyHandle = nullptr;
  std::vector<UCHAR> secret(key, key + keyLength);
  Check(::BCryptGenerateSymmetricKey(algorithm, &keyHandle, nullptr, 0, secret.data(),
                                     static_cast<ULONG>(secret.size()), 0));
  const std::unique_ptr<void, KeyCloser> keyHeld(keyHandle);
  std::vector<UCHAR> chain;
  if (iv != nullptr) chain.assign(iv, iv + 16);
  std::vector<UCHAR> input(in.begin(), in.end());
  std::string out(in.size(), '\0');
  ULONG written = 0;
  auto* dst = reinterpret_cast<PUCHAR>(out.data());
  const auto size = static_cast<ULONG>(input.size());
  const auto chainSize = static_cast<ULONG>(chain.size());
  PUCHAR chainData = chain.empty() ? nullptr : chain.data();
  if (encrypt)
    Check(::BCryptEncrypt(keyHandle, input.data(), size, nullptr, chainData, chainSize, dst, size, &written,
                          0));
  else
    Check(::BCryptDecrypt(keyHandle, input.data(), size, nullptr, chainData, chainSize, dst, size, &written,
                          0));
  out.resize(written);
  return out;
}

}  // namespace

std::string OpenSslEncrypt192(const std::string& plain, const std::uint8_t key[24],
                              const std::uint8_t iv[16]) {
  return RunCipher(BCRYPT_CHAIN_MODE_CBC, true, plain, key, 24, iv);
}

std::string OpenSslDecrypt192(const std::string& cipher, const std::uint8_t key[24],
                              const std::uint8_t iv[16]) {
  return RunCipher(BCRYPT_CHAIN_MODE_CBC, false, cipher, key, 24, iv);
}

std::string OpenSslEncryptAsFirmware(const std::string& plain) {
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  return OpenSslEncrypt192(plain, key, iv);
}

std::string OpenSslDecryptAsFirmware(const std::string& cipher) {
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  return OpenSslDecrypt192(cipher, key, iv);
}

std::string OpenSslEncrypt128Block(const std::string& block, const std::uint8_t key[16]) {
  return RunCipher(BCRYPT_CHAIN_MODE_ECB, true, block, key, 16, nullptr);
}

}  // namespace image_test
