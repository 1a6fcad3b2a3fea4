#include "image/firmware_decoder.h"

#include <array>
#include <fstream>
#include <new>

#include "image/firmware_cipher.h"
#include "image/intel_hex_probe.h"

namespace image {
namespace {

constexpr std::size_t kChunkSize = 1024;
constexpr std::size_t kBlockSize = 16;

using Chunk = std::array<std::uint8_t, kChunkSize>;

// Reads up to one chunk; a short count means the end of the file was reached.
std::size_t ReadChunk(std::istream& in, Chunk& chunk) {
  in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
  return static_cast<std::size_t>(in.gcount());
}

int Fail(MemImage& image) {
  image.Close();
  return DECODE_READ_FAILED;
}

// The file is read once, chunk by chunk; the first chunk doubles as the format probe. An
// encrypted file is one CBC stream: the chain runs on from chunk to chunk.
int DecodeWith(CFirmwareCipher& cipher, std::istream& in, MemImage& image) {
  Chunk chunk;
  Chunk plain;
  try {
    std::size_t n = ReadChunk(in, chunk);
    if (in.bad()) return Fail(image);
    const bool plainFile = StartsLikeIntelHex(chunk.data(), n);
    if (!plainFile) cipher.PrepareFileKey();

    for (;;) {
      if (plainFile) {
        image.Write(chunk.data(), n);
      } else {
        // A partial last block was cut off the file: there is nothing sound to decrypt it into.
        if (n % kBlockSize != 0) return Fail(image);
        cipher.DecryptCbc(chunk.data(), plain.data(), n / kBlockSize);
        image.Write(plain.data(), n);
      }
      if (n < kChunkSize) break;
      n = ReadChunk(in, chunk);
      if (in.bad()) return Fail(image);
    }
    image.SeekToBegin();
    return plainFile ? DECODE_PLAIN : DECODE_ENCRYPTED;
  } catch (const std::bad_alloc&) {
    return Fail(image);
  }
}

}  // namespace

int DecodeFirmwareFile(std::string path, MemImage& image) {
  CFirmwareCipher cipher;  // the tables exist before any file is touched
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return DECODE_OPEN_FAILED;
  return DecodeWith(cipher, file, image);
}

int DecodeFirmwareStream(std::istream& in, MemImage& image) {
  CFirmwareCipher cipher;
  return DecodeWith(cipher, in, image);
}

}  // namespace image
