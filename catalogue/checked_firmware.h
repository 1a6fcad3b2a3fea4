#pragma once
// What the check of the firmware file set found in one file, and the reload of a checked file
// just before it is programmed: the bytes programmed are the bytes that were checked.

#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/product_table.h"
#include "image/hex_scan.h"
#include "image/mem_image.h"
#include "image/sha256.h"

namespace catalogue {

enum class FileRead {
  kOk,
  kMissing,     // no such file
  kUnreadable,  // it exists but cannot be read whole (a folder, no permission, an error)
  kTooLarge,    // larger than any firmware file can be
};

// A firmware file's bytes, read once, and what its scan found in them.
struct FirmwareScan {
  FileRead read = FileRead::kMissing;
  int decoded = -1;          // an image::DecodeResult once read
  std::uint32_t state = 0;   // PlainOk or EncryptedOk once decoded
  image::ScanResult result;  // the hex scan's finding (kFileOpen when not decoded)
  image::Sha256Digest digest{};
};

// Reads the whole file, at most image::kMaxFirmwareFileSize bytes of it.
FileRead ReadFirmwareBytes(const std::string& path, std::string& bytes);

// Reads `path` once, hashes those bytes, decodes them and looks for `prodTag` in the image.
// The decoded image is left in `image` (empty when the bytes could not be decoded).
FirmwareScan ScanFirmwareFile(const std::string& path, const std::string& prodTag, image::MemImage& image);
FirmwareScan ScanFirmwareFile(const std::string& path, const std::string& prodTag);

// The rule of the file check: the file holds `fileTag` (the tag and the catalogue's version),
// or, with keepUntagged, it is a readable Intel HEX image holding no tag at all.
bool AcceptsScan(const FirmwareScan& scan, const std::string& fileTag, bool keepUntagged);

// Why a scan was not accepted, e.g. "holds VOR_T0a1b_V0.99, not VOR_T0a1b_V1.70".
std::string Shortfall(const FirmwareScan& scan, const std::string& fileTag);

// Reads row's file once (capped), confirms its SHA-256 is the one the check recorded, decodes
// those same bytes into `out` and confirms the scan finds what the check accepted. False with
// a one-line `why` naming the file on any difference; `out` is then empty.
bool LoadCheckedFirmware(const std::string& folder, const ProductTable& table, std::size_t row,
                         image::MemImage& out, std::string& why);

// The digest the check recorded for row's file, as 64 lower-case hexadecimal digits ("" when
// the row has no checked file).
std::string CheckedSha256Hex(const ProductTable& table, std::size_t row);

}  // namespace catalogue
