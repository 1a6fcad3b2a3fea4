#include "image/firmware_decoder.h"

#include <array>
#include <cstring>
#include <fstream>
#include <new>

#include "image/firmware_cipher.h"
#include "image/intel_hex_probe.h"

namespace image {
namespace {

constexpr std::size_t kChunkSize = 1024;
constexpr std::size_t kBlockSize = 16;

using Chunk = std::array<std::uint8_t, kChunkSize>;

// Where the decoder's bytes come from: an open stream or bytes already in memory. Read
// returns up to one chunk; a short count means the end was reached; Bad tells a read error.
class StreamSource {
 public:
  explicit StreamSource(std::istream& in) : m_in(in) {}
  std::size_t Read(Chunk& chunk) {
    m_in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    return static_cast<std::size_t>(m_in.gcount());
  }
  bool Bad() const { return m_in.bad(); }

 private:
  std::istream& m_in;
};

class MemorySource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t n) : m_data(data), m_left(n) {}
  std::size_t Read(Chunk& chunk) {
    const std::size_t n = m_left < chunk.size() ? m_left : chunk.size();
    if (n > 0) std::memcpy(chunk.data(), m_data, n);
    m_data += n;
    m_left -= n;
    return n;
  }
  static bool Bad() { return false; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_left;
};

int Fail(MemImage& image) {
  image.Close();
  return DECODE_READ_FAILED;
}

// The bytes are read once, chunk by chunk; the first chunk doubles as the format probe. An
// encrypted file is one CBC stream: the chain runs on from chunk to chunk. Anything longer
// than a firmware file can be is refused before it fills the memory.
template <typename Source>
int DecodeWith(CFirmwareCipher& cipher, Source& in, MemImage& image) {
  Chunk chunk;
  Chunk plain;
  try {
    std::size_t n = in.Read(chunk);
    if (in.Bad()) return Fail(image);
    const bool plainFile = StartsLikeIntelHex(chunk.data(), n);
    if (!plainFile && !cipher.PrepareFileKey()) return Fail(image);

    std::size_t total = 0;
    for (;;) {
      total += n;
      if (total > kMaxFirmwareFileSize) return Fail(image);
      if (plainFile) {
        image.Write(chunk.data(), n);
      } else {
        // A partial last block was cut off the file: there is nothing sound to decrypt it into.
        if (n % kBlockSize != 0) return Fail(image);
        if (!cipher.DecryptCbc(chunk.data(), plain.data(), n / kBlockSize)) return Fail(image);
        image.Write(plain.data(), n);
      }
      if (n < kChunkSize) break;
      n = in.Read(chunk);
      if (in.Bad()) return Fail(image);
    }
    image.SeekToBegin();
    return plainFile ? DECODE_PLAIN : DECODE_ENCRYPTED;
  } catch (const std::bad_alloc&) {
    return Fail(image);
  }
}

}  // namespace

int DecodeFirmwareFile(const std::string& path, MemImage& image) {
  CFirmwareCipher cipher;
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return DECODE_OPEN_FAILED;
  // A file that is too large is refused before a byte of it is read.
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxFirmwareFileSize) return Fail(image);
  file.seekg(0, std::ios::beg);
  if (!file) return Fail(image);
  StreamSource source(file);
  return DecodeWith(cipher, source, image);
}

int DecodeFirmwareStream(std::istream& in, MemImage& image) {
  CFirmwareCipher cipher;
  StreamSource source(in);
  return DecodeWith(cipher, source, image);
}

int DecodeFirmwareBytes(const std::uint8_t* data, std::size_t n, MemImage& image) {
  CFirmwareCipher cipher;
  MemorySource source(data, n);
  return DecodeWith(cipher, source, image);
}

}  // namespace image
