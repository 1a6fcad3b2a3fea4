// Generation of the firmware cipher's lookup tables, once per process.

#include <atomic>
#include <bit>
#include <mutex>
#include <stdexcept>

#include "image/firmware_cipher.h"
#include "image/gf256.h"

namespace image {
namespace {

using detail::GfMul;

alignas(64) FirmwareCipherTables g_tables;
std::atomic<bool> g_ready{false};
std::atomic<int> g_generations{0};
std::mutex g_generationMutex;

bool BuildInverseTable(FirmwareCipherTables& t) {
  t.inverse[0] = 0;
  for (unsigned a = 1; a < 256; ++a) {
    bool found = false;
    for (unsigned b = 1; b < 256 && !found; ++b) {
      if (GfMul(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)) == 1) {
        t.inverse[a] = static_cast<std::uint8_t>(b);
        found = true;
      }
    }
    if (!found) return false;
  }
  return true;
}

// The affine transformation: output bit k is the parity of the inverse masked with row k.
void BuildSbox(FirmwareCipherTables& t) {
  static constexpr std::uint8_t kRowMask[8] = {0xF1, 0xE3, 0xC7, 0x8F, 0x1F, 0x3E, 0x7C, 0xF8};
  for (unsigned x = 0; x < 256; ++x) {
    const unsigned inv = t.inverse[x];
    unsigned out = 0;
    for (unsigned k = 0; k < 8; ++k)
      out |= (static_cast<unsigned>(std::popcount(inv & kRowMask[k])) & 1U) << k;
    t.sbox[x] = static_cast<std::uint8_t>(out ^ 0x63);
  }
}

bool BuildInverseSbox(FirmwareCipherTables& t) {
  for (unsigned y = 0; y < 256; ++y) {
    unsigned x = 0;
    while (x < 256 && t.sbox[x] != y) ++x;
    if (x == 256) return false;  // the S-box would not be a permutation
    t.invSbox[y] = static_cast<std::uint8_t>(x);
  }
  return true;
}

void BuildRoundConstants(FirmwareCipherTables& t) {
  t.rcon[0] = 0;
  std::uint8_t c = 1;
  for (unsigned i = 1; i < 59; ++i) {
    t.rcon[i] = c;
    c = GfMul(c, 2);
  }
}

void BuildRoundTables(FirmwareCipherTables& t) {
  for (unsigned x = 0; x < 256; ++x) {
    const std::uint8_t s = t.invSbox[x];
    const std::uint32_t w =
        static_cast<std::uint32_t>(GfMul(s, 0x0E)) | static_cast<std::uint32_t>(GfMul(s, 0x09)) << 8 |
        static_cast<std::uint32_t>(GfMul(s, 0x0D)) << 16 | static_cast<std::uint32_t>(GfMul(s, 0x0B)) << 24;
    t.td0[x] = w;
    t.td1[x] = std::rotl(w, 8);
    t.td2[x] = std::rotl(w, 16);
    t.td3[x] = std::rotl(w, 24);
    t.sd0[x] = s;
    t.sd1[x] = static_cast<std::uint32_t>(s) << 8;
    t.sd2[x] = static_cast<std::uint32_t>(s) << 16;
    t.sd3[x] = static_cast<std::uint32_t>(s) << 24;
  }
}

bool BuildTables(FirmwareCipherTables& t) {
  if (!BuildInverseTable(t)) return false;
  BuildSbox(t);
  if (!BuildInverseSbox(t)) return false;
  BuildRoundConstants(t);
  BuildRoundTables(t);
  return true;
}

// The one-time guard. Workflows run on a worker thread, so the flag is published with
// release/acquire and generation itself is serialised. A failed generation leaves the flag
// clear, and the next construction tries again.
const FirmwareCipherTables& EnsureTables() {
  if (!g_ready.load(std::memory_order_acquire)) {
    const std::lock_guard lock(g_generationMutex);
    if (!g_ready.load(std::memory_order_relaxed)) {
      g_generations.fetch_add(1, std::memory_order_relaxed);
      if (!BuildTables(g_tables)) throw std::runtime_error("Tables failed to initialize");
      g_ready.store(true, std::memory_order_release);
    }
  }
  return g_tables;
}

}  // namespace

CFirmwareCipher::CFirmwareCipher() : m_tables(&EnsureTables()) {}

const FirmwareCipherTables& CFirmwareCipher::Tables() {
  return EnsureTables();
}

int CFirmwareCipher::TableGenerations() {
  return g_generations.load(std::memory_order_relaxed);
}

}  // namespace image
