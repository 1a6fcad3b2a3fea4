#pragma once
// The product table built from the catalogue: seven parallel columns of 32 rows, row i of
// every column describing the same product.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/download.h"
#include "common/loader_view.h"
#include "image/sha256.h"

namespace catalogue {

enum FileStatus : std::uint32_t {
  Needed = 1,       // not yet verified, or missing, unreadable or of the wrong version
  Fetched = 2,      // downloaded during the current check, not yet verified
  PlainOk = 3,      // readable, plain Intel HEX
  EncryptedOk = 4,  // readable, encrypted
};

// A row whose file is usable for programming.
inline bool IsUsable(std::uint32_t state) {
  return state > Fetched;
}

inline constexpr std::size_t kMaxProducts = 32;

struct ProductTable {
  using Column = std::array<std::string, kMaxProducts>;
  Column m_prodVersion;  // catalogue firmware version, e.g. "1.70"
  Column m_prodTag;      // "VOR_T" + code + "_V", the device tag
  Column m_prodFileTag;  // m_prodTag + m_prodVersion, expected inside the file
  Column m_prodHexFile;  // firmware file name (no folder)
  Column m_prodCode;     // product code text, four lower-case hex digits in practice
  Column m_prodName;     // display name ("_" shown as blanks)
  std::array<std::uint32_t, kMaxProducts> m_prodState{};
  // What the file check accepted for a usable row, so that programming can confirm it still
  // has the very same file: the SHA-256 of the file's bytes and the scan's text (the tag and
  // version found, or image::kScanSearchFail for an untagged file kept). Cleared otherwise.
  std::array<image::Sha256Digest, kMaxProducts> m_prodDigest{};
  Column m_prodScan;
  std::uint32_t m_nProducts = 0;
};

// Rebuilds the table from the local catalogue; returns m_nProducts (0: no product database).
std::uint32_t BuildProductTable(const std::string& folder, ProductTable& table, std::string& m_strFirmUrl,
                                LoaderView& view);

// What to tell a person after "Cannot Locate Product Database.": the firmware folder and what
// belongs in it (the catalogue file and the firmware files it names), and the URL the catalogue
// could not be fetched from when `refresh` failed. "" without a folder, whose problem has been
// said already.
std::string NoProductDatabaseNote(const std::string& folder, const std::optional<DownloadResult>& refresh);

}  // namespace catalogue
