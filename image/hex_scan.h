#pragma once
// Finds the version tag inside a firmware file's data.

#include <cstdint>
#include <optional>
#include <string>

#include "image/firmware_decoder.h"
#include "image/mem_image.h"

namespace image {

inline constexpr const char* kScanFileOpen = "ee1_File_Open";
inline constexpr const char* kScanNotIntel = "ee3_Not Intel";
inline constexpr const char* kScanSearchFail = "ee4_Search_Fail";

enum class ScanError { kNone, kFileOpen, kNotIntel, kSearchFail };

// What a scan found: the form the file was decoded from, the tag, or why there is none.
struct ScanResult {
  std::optional<DecodeResult> form;  // DECODE_PLAIN or DECODE_ENCRYPTED once decoded
  std::optional<std::string> tag;    // the 15 characters starting at the tag, when found
  ScanError error = ScanError::kNone;

  // The tag, or the error's text above: what the scan has always answered.
  std::string Text() const;
};

// Decodes the file at `path` and walks its records looking for `prodTag`. Every negative
// decoder result counts as a file that cannot be opened (kFileOpen, no form).
ScanResult ScanHexImage(const std::string& prodTag, const std::string& path);

// The scan of an image already decoded: the format test, then the record walk (no form is
// set). Finds the 15 characters at the tag, or kNotIntel or kSearchFail. Reads the image from
// its start.
// Record checksums are not checked. A record cut short by the end of the image, or one whose
// count or data holds a character that is not a hexadecimal digit, adds nothing to the searched
// data; after a bad count the walk looks for the next record mark.
ScanResult FindVersionTag(MemImage& image, const std::string& prodTag);

}  // namespace image
