#pragma once
// Turns a firmware file (plain or AES-192-CBC encrypted Intel HEX) into an in-memory image.

#include <string>

#include "image/mem_image.h"

namespace image {

enum DecodeResult : int {
  DECODE_PLAIN = 0,
  DECODE_ENCRYPTED = 2,
  DECODE_OPEN_FAILED = -1,
  // The file opened but could not be read whole, or an encrypted file is not a whole
  // number of 16-byte blocks (damaged). The image is left empty.
  DECODE_READ_FAILED = -3,
};

// Fills `image` (expected empty) and rewinds it. Returns a DecodeResult.
int DecodeFirmwareFile(std::string path, MemImage& image);

}  // namespace image
