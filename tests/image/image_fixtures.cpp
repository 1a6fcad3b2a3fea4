#include "tests/image/image_fixtures.h"

#include <openssl/evp.h>

#include <memory>
#include <random>
#include <stdexcept>

#include "image/firmware_key.h"

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

std::string RunCipher(const EVP_CIPHER* cipher, bool encrypt, const std::string& in, const std::uint8_t* key,
                      const std::uint8_t* iv) {
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
  std::string out(in.size() + 16, '\0');
  int n = 0;
  int tail = 0;
  const auto* src = reinterpret_cast<const unsigned char*>(in.data());
  auto* dst = reinterpret_cast<unsigned char*>(out.data());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, iv, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), dst, &n, src, static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), dst + n, &tail) != 1) {
    throw std::runtime_error("OpenSSL cipher failed");
  }
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

}  // namespace

std::string OpenSslEncrypt192(const std::string& plain, const std::uint8_t key[24],
                              const std::uint8_t iv[16]) {
  return RunCipher(EVP_aes_192_cbc(), true, plain, key, iv);
}

std::string OpenSslDecrypt192(const std::string& cipher, const std::uint8_t key[24],
                              const std::uint8_t iv[16]) {
  return RunCipher(EVP_aes_192_cbc(), false, cipher, key, iv);
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
  return RunCipher(EVP_aes_128_ecb(), true, block, key, nullptr);
}

}  // namespace image_test
