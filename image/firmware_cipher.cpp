// AES-192 decryption for encrypted firmware files: key schedule in the equivalent inverse
// form, and the block decryption as table lookups with every round written out.

#include "image/firmware_cipher.h"

#include <bit>
#include <utility>

#include "image/firmware_key.h"
#include "image/gf256.h"

namespace image {
namespace {

using detail::GfMul;

inline std::uint32_t LoadWord(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void StoreWord(std::uint8_t* p, std::uint32_t w) {
  p[0] = static_cast<std::uint8_t>(w);
  p[1] = static_cast<std::uint8_t>(w >> 8);
  p[2] = static_cast<std::uint8_t>(w >> 16);
  p[3] = static_cast<std::uint8_t>(w >> 24);
}

// Byte n of a column word, ready to index a table.
inline std::size_t Byte(std::uint32_t w, int n) {
  return (w >> (8 * n)) & 0xFF;
}

// The key leaves no copy behind in the stack frame that built it.
void Wipe(std::uint8_t* p, std::size_t n) {
  volatile std::uint8_t* v = p;
  for (std::size_t i = 0; i < n; ++i) v[i] = 0;
}

std::uint32_t SubWord(const FirmwareCipherTables& t, std::uint32_t w) {
  return static_cast<std::uint32_t>(t.sbox[Byte(w, 0)]) |
         static_cast<std::uint32_t>(t.sbox[Byte(w, 1)]) << 8 |
         static_cast<std::uint32_t>(t.sbox[Byte(w, 2)]) << 16 |
         static_cast<std::uint32_t>(t.sbox[Byte(w, 3)]) << 24;
}

// (b0, b1, b2, b3) -> (b1, b2, b3, b0); with the first byte lowest that is a right rotation.
std::uint32_t RotWord(std::uint32_t w) {
  return std::rotr(w, 8);
}

std::uint32_t InvMixColumn(std::uint32_t w) {
  const auto b0 = static_cast<std::uint8_t>(w);
  const auto b1 = static_cast<std::uint8_t>(w >> 8);
  const auto b2 = static_cast<std::uint8_t>(w >> 16);
  const auto b3 = static_cast<std::uint8_t>(w >> 24);
  const auto mix = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(GfMul(a, 0x0E) ^ GfMul(b, 0x0B) ^ GfMul(c, 0x0D) ^ GfMul(d, 0x09));
  };
  return mix(b0, b1, b2, b3) | mix(b1, b2, b3, b0) << 8 | mix(b2, b3, b0, b1) << 16 |
         mix(b3, b0, b1, b2) << 24;
}

// A block's four column words, kept in registers through the rounds.
struct Columns {
  std::uint32_t c0, c1, c2, c3;
};

// One inner round of the equivalent inverse cipher: InvSubBytes, InvShiftRows and
// InvMixColumns in one lookup per byte, then the round key.
[[gnu::always_inline]] inline Columns InvRound(const FirmwareCipherTables& t, const std::uint32_t* rk,
                                               Columns s) {
  return {t.td0[Byte(s.c0, 0)] ^ t.td1[Byte(s.c3, 1)] ^ t.td2[Byte(s.c2, 2)] ^ t.td3[Byte(s.c1, 3)] ^ rk[0],
          t.td0[Byte(s.c1, 0)] ^ t.td1[Byte(s.c0, 1)] ^ t.td2[Byte(s.c3, 2)] ^ t.td3[Byte(s.c2, 3)] ^ rk[1],
          t.td0[Byte(s.c2, 0)] ^ t.td1[Byte(s.c1, 1)] ^ t.td2[Byte(s.c0, 2)] ^ t.td3[Byte(s.c3, 3)] ^ rk[2],
          t.td0[Byte(s.c3, 0)] ^ t.td1[Byte(s.c2, 1)] ^ t.td2[Byte(s.c1, 2)] ^ t.td3[Byte(s.c0, 3)] ^ rk[3]};
}

// The last round has no InvMixColumns.
[[gnu::always_inline]] inline Columns InvLastRound(const FirmwareCipherTables& t, const std::uint32_t* rk,
                                                   Columns s) {
  return {t.sd0[Byte(s.c0, 0)] ^ t.sd1[Byte(s.c3, 1)] ^ t.sd2[Byte(s.c2, 2)] ^ t.sd3[Byte(s.c1, 3)] ^ rk[0],
          t.sd0[Byte(s.c1, 0)] ^ t.sd1[Byte(s.c0, 1)] ^ t.sd2[Byte(s.c3, 2)] ^ t.sd3[Byte(s.c2, 3)] ^ rk[1],
          t.sd0[Byte(s.c2, 0)] ^ t.sd1[Byte(s.c1, 1)] ^ t.sd2[Byte(s.c0, 2)] ^ t.sd3[Byte(s.c3, 3)] ^ rk[2],
          t.sd0[Byte(s.c3, 0)] ^ t.sd1[Byte(s.c2, 1)] ^ t.sd2[Byte(s.c1, 2)] ^ t.sd3[Byte(s.c0, 3)] ^ rk[3]};
}

// The twelve rounds of AES-192, written out.
[[gnu::always_inline]] inline Columns DecryptColumns(const FirmwareCipherTables& t, const std::uint32_t* rk,
                                                     Columns in) {
  Columns s{in.c0 ^ rk[0], in.c1 ^ rk[1], in.c2 ^ rk[2], in.c3 ^ rk[3]};
  s = InvRound(t, rk + 4, s);
  s = InvRound(t, rk + 8, s);
  s = InvRound(t, rk + 12, s);
  s = InvRound(t, rk + 16, s);
  s = InvRound(t, rk + 20, s);
  s = InvRound(t, rk + 24, s);
  s = InvRound(t, rk + 28, s);
  s = InvRound(t, rk + 32, s);
  s = InvRound(t, rk + 36, s);
  s = InvRound(t, rk + 40, s);
  s = InvRound(t, rk + 44, s);
  return InvLastRound(t, rk + 48, s);
}

inline Columns LoadColumns(const std::uint8_t* p) {
  return {LoadWord(p), LoadWord(p + 4), LoadWord(p + 8), LoadWord(p + 12)};
}

inline void StoreColumns(std::uint8_t* p, Columns c) {
  StoreWord(p, c.c0);
  StoreWord(p + 4, c.c1);
  StoreWord(p + 8, c.c2);
  StoreWord(p + 12, c.c3);
}

}  // namespace

void CFirmwareCipher::PrepareFileKey() {
  std::uint8_t key[24];
  std::uint8_t iv[16];
  BuildFirmwareFileKey(key, iv);
  PrepareKey(key, iv);
  Wipe(key, sizeof key);
}

void CFirmwareCipher::PrepareKey(const std::uint8_t key[24], const std::uint8_t iv[16]) {
  m_nBlockWords = 4;
  m_nKeyWords = 6;
  m_nRounds = 12;
  for (std::size_t i = 0; i < 16; ++i) m_chain[i] = iv[i];
  LoadKeyWords(key);
  ExpandDecryptionSchedule();
}

void CFirmwareCipher::LoadKeyWords(const std::uint8_t key[24]) {
  for (std::size_t i = 0; i < 6; ++i) m_roundKeys[i] = LoadWord(key + 4 * i);
}

void CFirmwareCipher::ExpandDecryptionSchedule() {
  const auto nb = static_cast<std::size_t>(m_nBlockWords);
  const auto nk = static_cast<std::size_t>(m_nKeyWords);
  const auto nr = static_cast<std::size_t>(m_nRounds);
  std::uint32_t* w = m_roundKeys;

  for (std::size_t i = nk; i < (nr + 1) * nb; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) temp = SubWord(*m_tables, RotWord(temp)) ^ m_tables->rcon[i / nk];
    w[i] = w[i - nk] ^ temp;
  }

  // The equivalent inverse cipher needs InvMixColumns applied to the inner round keys.
  for (std::size_t i = nb; i < nr * nb; ++i) w[i] = InvMixColumn(w[i]);

  // Decryption walks the rounds backwards; the middle round stays where it is.
  for (std::size_t j = 0; j < nr / 2; ++j) {
    for (std::size_t c = 0; c < nb; ++c) std::swap(w[j * nb + c], w[(nr - j) * nb + c]);
  }
}

void CFirmwareCipher::DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  StoreColumns(out, DecryptColumns(*m_tables, m_roundKeys, LoadColumns(in)));
}

void CFirmwareCipher::DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  const FirmwareCipherTables& t = *m_tables;
  const std::uint32_t* rk = m_roundKeys;
  Columns chain = LoadColumns(m_chain);
  for (std::size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
    // The ciphertext is read whole before the output is written, so in and out may coincide.
    const Columns cipher = LoadColumns(in);
    const Columns plain = DecryptColumns(t, rk, cipher);
    StoreColumns(out, {plain.c0 ^ chain.c0, plain.c1 ^ chain.c1, plain.c2 ^ chain.c2, plain.c3 ^ chain.c3});
    chain = cipher;
  }
  StoreColumns(m_chain, chain);
}

}  // namespace image
