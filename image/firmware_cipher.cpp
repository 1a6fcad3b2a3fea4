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

inline std::uint8_t Byte(std::uint32_t w, int n) { return static_cast<std::uint8_t>(w >> (8 * n)); }

// The key leaves no copy behind in the stack frame that built it.
void Wipe(std::uint8_t* p, std::size_t n) {
  volatile std::uint8_t* v = p;
  for (std::size_t i = 0; i < n; ++i) v[i] = 0;
}

std::uint32_t SubWord(const FirmwareCipherTables& t, std::uint32_t w) {
  return static_cast<std::uint32_t>(t.sbox[Byte(w, 0)]) | static_cast<std::uint32_t>(t.sbox[Byte(w, 1)]) << 8 |
         static_cast<std::uint32_t>(t.sbox[Byte(w, 2)]) << 16 |
         static_cast<std::uint32_t>(t.sbox[Byte(w, 3)]) << 24;
}

// (b0, b1, b2, b3) -> (b1, b2, b3, b0); with the first byte lowest that is a right rotation.
std::uint32_t RotWord(std::uint32_t w) { return std::rotr(w, 8); }

std::uint32_t InvMixColumn(std::uint32_t w) {
  const std::uint8_t b0 = Byte(w, 0), b1 = Byte(w, 1), b2 = Byte(w, 2), b3 = Byte(w, 3);
  const auto mix = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(GfMul(a, 0x0E) ^ GfMul(b, 0x0B) ^ GfMul(c, 0x0D) ^ GfMul(d, 0x09));
  };
  return mix(b0, b1, b2, b3) | mix(b1, b2, b3, b0) << 8 | mix(b2, b3, b0, b1) << 16 | mix(b3, b0, b1, b2) << 24;
}

// One inner round of the equivalent inverse cipher: InvSubBytes, InvShiftRows and
// InvMixColumns in one lookup per byte, then the round key.
[[gnu::always_inline]] inline void InvRound(const FirmwareCipherTables& t, const std::uint32_t* rk,
                                            const std::uint32_t s[4], std::uint32_t o[4]) {
  o[0] = t.td0[Byte(s[0], 0)] ^ t.td1[Byte(s[3], 1)] ^ t.td2[Byte(s[2], 2)] ^ t.td3[Byte(s[1], 3)] ^ rk[0];
  o[1] = t.td0[Byte(s[1], 0)] ^ t.td1[Byte(s[0], 1)] ^ t.td2[Byte(s[3], 2)] ^ t.td3[Byte(s[2], 3)] ^ rk[1];
  o[2] = t.td0[Byte(s[2], 0)] ^ t.td1[Byte(s[1], 1)] ^ t.td2[Byte(s[0], 2)] ^ t.td3[Byte(s[3], 3)] ^ rk[2];
  o[3] = t.td0[Byte(s[3], 0)] ^ t.td1[Byte(s[2], 1)] ^ t.td2[Byte(s[1], 2)] ^ t.td3[Byte(s[0], 3)] ^ rk[3];
}

// The last round has no InvMixColumns.
[[gnu::always_inline]] inline void InvLastRound(const FirmwareCipherTables& t, const std::uint32_t* rk,
                                                const std::uint32_t s[4], std::uint32_t o[4]) {
  o[0] = t.sd0[Byte(s[0], 0)] ^ t.sd1[Byte(s[3], 1)] ^ t.sd2[Byte(s[2], 2)] ^ t.sd3[Byte(s[1], 3)] ^ rk[0];
  o[1] = t.sd0[Byte(s[1], 0)] ^ t.sd1[Byte(s[0], 1)] ^ t.sd2[Byte(s[3], 2)] ^ t.sd3[Byte(s[2], 3)] ^ rk[1];
  o[2] = t.sd0[Byte(s[2], 0)] ^ t.sd1[Byte(s[1], 1)] ^ t.sd2[Byte(s[0], 2)] ^ t.sd3[Byte(s[3], 3)] ^ rk[2];
  o[3] = t.sd0[Byte(s[3], 0)] ^ t.sd1[Byte(s[2], 1)] ^ t.sd2[Byte(s[1], 2)] ^ t.sd3[Byte(s[0], 3)] ^ rk[3];
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

void CFirmwareCipher::DecryptWords(const std::uint32_t in[4], std::uint32_t out[4]) const {
  const FirmwareCipherTables& t = *m_tables;
  const std::uint32_t* rk = m_roundKeys;
  std::uint32_t s[4] = {in[0] ^ rk[0], in[1] ^ rk[1], in[2] ^ rk[2], in[3] ^ rk[3]};
  std::uint32_t u[4];
  InvRound(t, rk + 4, s, u);
  InvRound(t, rk + 8, u, s);
  InvRound(t, rk + 12, s, u);
  InvRound(t, rk + 16, u, s);
  InvRound(t, rk + 20, s, u);
  InvRound(t, rk + 24, u, s);
  InvRound(t, rk + 28, s, u);
  InvRound(t, rk + 32, u, s);
  InvRound(t, rk + 36, s, u);
  InvRound(t, rk + 40, u, s);
  InvRound(t, rk + 44, s, u);
  InvLastRound(t, rk + 48, u, out);
}

void CFirmwareCipher::DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  const std::uint32_t words[4] = {LoadWord(in), LoadWord(in + 4), LoadWord(in + 8), LoadWord(in + 12)};
  std::uint32_t plain[4];
  DecryptWords(words, plain);
  for (std::size_t c = 0; c < 4; ++c) StoreWord(out + 4 * c, plain[c]);
}

void CFirmwareCipher::DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  std::uint32_t chain[4] = {LoadWord(m_chain), LoadWord(m_chain + 4), LoadWord(m_chain + 8),
                            LoadWord(m_chain + 12)};
  for (std::size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
    // The ciphertext is read whole before the output is written, so in and out may coincide.
    const std::uint32_t cipher[4] = {LoadWord(in), LoadWord(in + 4), LoadWord(in + 8), LoadWord(in + 12)};
    std::uint32_t plain[4];
    DecryptWords(cipher, plain);
    for (std::size_t c = 0; c < 4; ++c) {
      StoreWord(out + 4 * c, plain[c] ^ chain[c]);
      chain[c] = cipher[c];
    }
  }
  for (std::size_t c = 0; c < 4; ++c) StoreWord(m_chain + 4 * c, chain[c]);
}

}  // namespace image
