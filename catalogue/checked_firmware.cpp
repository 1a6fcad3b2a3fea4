#include "catalogue/checked_firmware.h"

#include <new>
#include <system_error>

#include "catalogue/safe_file_name.h"
#include "image/firmware_decoder.h"
#include "image/hex_scan.h"
#include "platform/files.h"

namespace catalogue {

namespace {

constexpr std::size_t kReadPiece = std::size_t{64} * 1024;

std::string MiB(std::size_t bytes) {
  return std::to_string(bytes / (std::size_t{1024} * 1024)) + " MiB";
}

}  // namespace

FileRead ReadFirmwareBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::error_code error;
  const platform::File file = platform::OpenForReading(path, error);
  if (!file.isOpen())
    return error == std::errc::no_such_file_or_directory ? FileRead::kMissing : FileRead::kUnreadable;
  const platform::FileInfo info = platform::InfoOf(file, error);
  if (error || !info.regular) return FileRead::kUnreadable;
  if (info.size > image::kMaxFirmwareFileSize) return FileRead::kTooLarge;
  try {
    bytes.reserve(static_cast<std::size_t>(info.size));
    // The file may grow while it is read: one byte past the cap is enough to refuse it.
    for (;;) {
      const std::size_t at = bytes.size();
      bytes.resize(at + kReadPiece);
      const std::int64_t got = platform::ReadSomeAt(file, at, bytes.data() + at, kReadPiece, error);
      if (got < 0) {
        bytes.clear();
        return FileRead::kUnreadable;
      }
      bytes.resize(at + static_cast<std::size_t>(got));
      if (bytes.size() > image::kMaxFirmwareFileSize) {
        bytes.clear();
        return FileRead::kTooLarge;
      }
      if (got == 0) return FileRead::kOk;
    }
  } catch (const std::bad_alloc&) {
    bytes.clear();
    return FileRead::kUnreadable;
  }
}

FirmwareScan ScanFirmwareFile(const std::string& path, const std::string& prodTag, image::MemImage& image) {
  FirmwareScan scan;
  image.Close();
  std::string bytes;
  scan.read = ReadFirmwareBytes(path, bytes);
  scan.result.error = image::ScanError::kFileOpen;
  if (scan.read != FileRead::kOk) return scan;
  const std::optional<image::Sha256Digest> digest = image::Sha256Of(bytes);
  if (!digest) {
    // Without its digest a file could never be confirmed before it is programmed.
    scan.read = FileRead::kUnreadable;
    return scan;
  }
  scan.digest = *digest;
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  scan.decoded = image::DecodeFirmwareBytes(data, bytes.size(), image);
  if (scan.decoded < 0) return scan;
  scan.state = scan.decoded == image::DECODE_ENCRYPTED ? EncryptedOk : PlainOk;
  scan.result = image::FindVersionTag(image, prodTag);
  return scan;
}

FirmwareScan ScanFirmwareFile(const std::string& path, const std::string& prodTag) {
  image::MemImage image;
  return ScanFirmwareFile(path, prodTag, image);
}

bool AcceptsScan(const FirmwareScan& scan, const std::string& fileTag, bool keepUntagged) {
  if (scan.read != FileRead::kOk || scan.decoded < 0) return false;
  if (scan.result.tag == fileTag) return true;
  return keepUntagged && scan.result.error == image::ScanError::kSearchFail;
}

std::string Shortfall(const FirmwareScan& scan, const std::string& fileTag) {
  switch (scan.read) {
    case FileRead::kMissing:
      return "does not exist";
    case FileRead::kUnreadable:
      return "cannot be read";
    case FileRead::kTooLarge:
      return "is larger than " + MiB(image::kMaxFirmwareFileSize);
    case FileRead::kOk:
      break;
  }
  if (scan.decoded < 0) return "is not a firmware file (cannot be decoded)";
  if (scan.result.error == image::ScanError::kNotIntel) return "is not a firmware file (no Intel HEX inside)";
  if (scan.result.error == image::ScanError::kSearchFail) return "holds no version tag, not " + fileTag;
  return "holds " + scan.result.Text() + ", not " + fileTag;
}

bool LoadCheckedFirmware(const std::string& folder, const ProductTable& table, std::size_t row,
                         image::MemImage& out, std::string& why) {
  out.Close();
  why.clear();
  const std::size_t n = table.m_nProducts < kMaxProducts ? table.m_nProducts : kMaxProducts;
  if (row >= n || !IsUsable(table.m_prodState[row])) {
    why = "product row " + std::to_string(row) + " has no checked firmware file";
    return false;
  }
  const std::string& name = table.m_prodHexFile[row];
  if (folder.empty() || !IsFirmwareFileName(name)) {
    why = "firmware file " + name + " may not be used";
    return false;
  }
  const FirmwareScan scan = ScanFirmwareFile(folder + name, table.m_prodTag[row], out);
  const std::string file = "firmware file " + folder + name;
  if (scan.read != FileRead::kOk) {
    why = file + " " + Shortfall(scan, table.m_prodFileTag[row]);
  } else if (scan.digest != table.m_prodDigest[row]) {
    why = file + " changed since it was checked";
  } else if (scan.decoded < 0 || scan.state != table.m_prodState[row] ||
             scan.result.Text() != table.m_prodScan[row]) {
    why =
        file + " no longer holds " +
        (table.m_prodScan[row] == image::kScanSearchFail ? std::string("the untagged image that was checked")
                                                         : table.m_prodScan[row]);
  }
  if (!why.empty()) {
    out.Close();
    return false;
  }
  out.SeekToBegin();
  return true;
}

std::string CheckedSha256Hex(const ProductTable& table, std::size_t row) {
  const std::size_t n = table.m_nProducts < kMaxProducts ? table.m_nProducts : kMaxProducts;
  if (row >= n || !IsUsable(table.m_prodState[row])) return {};
  return image::Sha256Hex(table.m_prodDigest[row]);
}

}  // namespace catalogue
