#pragma once
// Turns a firmware file (plain or AES-192-CBC encrypted Intel HEX) into an in-memory image.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

#include "image/mem_image.h"

namespace image {

// No firmware file is larger; anything larger is refused unread as a file that cannot be read.
inline constexpr std::size_t kMaxFirmwareFileSize = std::size_t{32} * 1024 * 1024;

enum DecodeResult : int {
  DECODE_PLAIN = 0,
  DECODE_ENCRYPTED = 2,
  DECODE_OPEN_FAILED = -1,
  // The file opened but could not be read whole, is larger than kMaxFirmwareFileSize, an
  // encrypted file is not a whole number of 16-byte blocks (damaged), or the cipher library
  // failed. The image is left empty.
  DECODE_READ_FAILED = -3,
};

// Fills `image` (expected empty) and rewinds it. Returns a DecodeResult. The form is told from
// the first bytes: plain Intel HEX with CR LF line ends is copied as it is, anything else is
// decrypted as one AES-192-CBC stream. Every negative result means the file cannot be used.
int DecodeFirmwareFile(const std::string& path, MemImage& image);

// The same over a stream already open (the decoder's core; also fed directly by the fuzzer).
// Never returns DECODE_OPEN_FAILED.
int DecodeFirmwareStream(std::istream& in, MemImage& image);

// The same over a file's bytes already read into memory (so that what was hashed is what is
// decoded). Never returns DECODE_OPEN_FAILED.
int DecodeFirmwareBytes(const std::uint8_t* data, std::size_t n, MemImage& image);

}  // namespace image
