#include "tests/image/image_fixtures.h"

#include <openssl/evp.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

#include "image/firmware_key.h"

namespace image_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vor-image-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
  m_dir = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

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

std::string EncryptAsFirmware(const std::string& plain) {
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  return OpenSslEncrypt192(plain, key, iv);
}

std::string DecryptAsFirmware(const std::string& cipher) {
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  return OpenSslDecrypt192(cipher, key, iv);
}

std::string OpenSslEncrypt128Block(const std::string& block, const std::uint8_t key[16]) {
  return RunCipher(EVP_aes_128_ecb(), true, block, key, nullptr);
}

std::string PadToBlocks(std::string text) {
  text.resize((text.size() + 15) / 16 * 16, '\0');
  return text;
}

std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::string& data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string bytes;
  bytes += static_cast<char>(data.size());
  bytes += static_cast<char>(address >> 8);
  bytes += static_cast<char>(address & 0xFF);
  bytes += static_cast<char>(type);
  bytes += data;
  unsigned sum = 0;
  for (char c : bytes) sum += static_cast<unsigned char>(c);
  bytes += static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);

  std::string text = ":";
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text + "\r\n";
}

std::string HexFile(const std::vector<std::string>& recordData) {
  std::string text;
  std::uint16_t address = 0;
  for (const std::string& data : recordData) {
    text += HexRecord(0x00, address, data);
    address = static_cast<std::uint16_t>(address + data.size());
  }
  return text + HexRecord(0x01, 0, "");
}

std::string HexFileFromData(const std::string& data, std::size_t perRecord) {
  std::vector<std::string> records;
  for (std::size_t i = 0; i < data.size(); i += perRecord) records.push_back(data.substr(i, perRecord));
  return HexFile(records);
}

}  // namespace image_test
