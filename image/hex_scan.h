#pragma once
// Finds the version tag inside a firmware file's data.

#include <cstdint>
#include <string>

#include "image/mem_image.h"

namespace image {

inline constexpr const char* kScanFileOpen = "ee1_File_Open";
inline constexpr const char* kScanNotIntel = "ee3_Not Intel";
inline constexpr const char* kScanSearchFail = "ee4_Search_Fail";

// The values the scan writes into a product row's state (the product table's PlainOk and
// EncryptedOk).
inline constexpr std::uint32_t kScanStatePlainOk = 3;
inline constexpr std::uint32_t kScanStateEncryptedOk = 4;

// Decodes the file at `path` and walks its records looking for `prodTag`. Returns the 15
// characters starting at the tag, or one of the error texts above. Sets `prodState` to
// 3 (plain) or 4 (encrypted) whenever the file could be decoded; leaves it alone otherwise.
// Every negative decoder result counts as a file that cannot be opened.
std::string ScanHexImage(const std::string& prodTag, std::uint32_t& prodState, const std::string& path);

// The scan of an image already decoded: the format test, then the record walk. Returns the
// 15 characters found, kScanNotIntel or kScanSearchFail. Reads the image from its start.
// Record checksums are not checked. A record cut short by the end of the image, or one whose
// count or data holds a character that is not a hexadecimal digit, adds nothing to the searched
// data; after a bad count the walk looks for the next record mark.
std::string FindVersionTag(MemImage& image, const std::string& prodTag);

}  // namespace image
