#pragma once
// AES-192 decryption in CBC mode for encrypted firmware files. Table-driven: the lookup tables
// are generated once per process at run time, on the first construction.

#include <cstddef>
#include <cstdint>

namespace image {

// Process-wide tables, read-only once generated. A column of four state bytes is one 32-bit
// word whose lowest eight bits hold the first byte.
struct FirmwareCipherTables {
  std::uint8_t inverse[256];  // multiplicative inverses in GF(2^8), entry 0 is 0
  std::uint8_t sbox[256];
  std::uint8_t invSbox[256];
  std::uint32_t rcon[59];  // word i (1..58) holds x^(i-1) in its low byte; word 0 is 0
  // Round tables: td0[x] holds, low byte first, 0E.s 09.s 0D.s 0B.s with s = invSbox[x];
  // td1..td3 are td0 rotated left by 8, 16 and 24 bits.
  std::uint32_t td0[256], td1[256], td2[256], td3[256];
  // Last-round tables: invSbox[x] placed in byte 0, 1, 2 and 3 of the word.
  std::uint32_t sd0[256], sd1[256], sd2[256], sd3[256];
};

class CFirmwareCipher {
 public:
  // Makes sure the process-wide tables exist. Throws std::runtime_error with the text
  // "Tables failed to initialize" when their generation fails; the next construction then
  // tries again. Safe to call from several threads. Prepares no key.
  CFirmwareCipher();

  // AES-192 with the firmware file key; the chaining block starts again at the firmware
  // initialisation vector. Called once per file, before the first DecryptCbc.
  void PrepareFileKey();

  // The same with another AES-192 key and initialisation vector (known-answer tests).
  void PrepareKey(const std::uint8_t key[24], const std::uint8_t iv[16]);

  // Decrypts one 16-byte block with the prepared schedule; no chaining.
  void DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

  // Decrypts `blocks` consecutive 16-byte blocks in CBC mode, continuing the chain held here
  // from the previous call. `in` and `out` may be the same buffer. Zero blocks do nothing.
  void DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);

  // The last ciphertext block consumed, or the initialisation vector after preparation.
  const std::uint8_t* ChainingBlock() const { return m_chain; }

  // The generated tables (generating them first if need be).
  static const FirmwareCipherTables& Tables();
  // How many times the tables have been generated in this process.
  static int TableGenerations();

 private:
  void LoadKeyWords(const std::uint8_t key[24]);
  void ExpandDecryptionSchedule();

  const FirmwareCipherTables* m_tables;

  std::int32_t m_nBlockWords = 4;
  std::int32_t m_nKeyWords = 6;
  std::int32_t m_nRounds = 12;
  // Key schedule; AES-192 fills words 0 to 51, in decryption order after preparation.
  std::uint32_t m_roundKeys[120] = {};
  std::uint8_t m_chain[16] = {};
};

}  // namespace image
