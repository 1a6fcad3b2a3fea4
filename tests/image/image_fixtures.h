#pragma once
// Small helpers for the image tests: a scratch folder, Intel HEX text, and AES-192-CBC through
// OpenSSL as an independent reference for the loader's own cipher.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace image_test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
};

void WriteFile(const std::string& path, const std::string& bytes);

// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t n, std::uint32_t seed);

std::string AsString(const std::vector<std::uint8_t>& bytes);

// AES-192-CBC without padding; the length must be a whole number of 16-byte blocks.
std::string OpenSslEncrypt192(const std::string& plain, const std::uint8_t key[24],
                              const std::uint8_t iv[16]);
std::string OpenSslDecrypt192(const std::string& cipher, const std::uint8_t key[24],
                              const std::uint8_t iv[16]);
// The same under the firmware file key and initialisation vector.
std::string EncryptAsFirmware(const std::string& plain);
std::string DecryptAsFirmware(const std::string& cipher);
// AES-128-ECB of one block.
std::string OpenSslEncrypt128Block(const std::string& block, const std::uint8_t key[16]);

// Pads with zero bytes to a whole number of 16-byte blocks, as the packing tool does.
std::string PadToBlocks(std::string text);

// One Intel HEX record with its checksum, ended by CR LF.
std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::string& data);
// Data records (one per element, addresses running on) and the end-of-file record.
std::string HexFile(const std::vector<std::string>& recordData);
// `data` cut into data records of `perRecord` bytes, and the end-of-file record.
std::string HexFileFromData(const std::string& data, std::size_t perRecord = 16);

}  // namespace image_test
