#pragma once
// Finds the version tag inside a firmware file's data.

#include <cstdint>
#include <string>

namespace image {

inline constexpr const char* kScanFileOpen = "ee1_File_Open";
inline constexpr const char* kScanNotIntel = "ee3_Not Intel";
inline constexpr const char* kScanSearchFail = "ee4_Search_Fail";

// Decodes the file at `path` and walks its records looking for `prodTag`. Returns the 15
// characters starting at the tag, or one of the error texts above. Sets `prodState` to
// 3 (plain) or 4 (encrypted) whenever the file could be decoded; leaves it alone otherwise.
std::string ScanHexImage(const std::string& prodTag, std::uint32_t& prodState, const std::string& path);

}  // namespace image
