// Feeds arbitrary bytes to the firmware decoder as a file's content and to the hex scan both
// through the decoder and as an already-decoded image, checking what each promises.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/firmware_decoder.h"
#include "image/hex_scan.h"

namespace {

const std::string kTag = "VOR_T00a1_V";

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckScanResult(const image::ScanResult& scan) {
  if (scan.error != image::ScanError::kNone) {
    Require(!scan.tag &&
            (scan.error == image::ScanError::kNotIntel || scan.error == image::ScanError::kSearchFail));
    return;
  }
  const std::string result = scan.Text();
  Require(result.size() == 15 && result.compare(0, kTag.size(), kTag) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  {
    std::istringstream file(bytes);
    image::MemImage decoded;
    const int result = image::DecodeFirmwareStream(file, decoded);
    switch (result) {
      case image::DECODE_PLAIN:
        Require(decoded.Bytes().size() == size &&
                std::equal(decoded.Bytes().begin(), decoded.Bytes().end(), data));
        break;
      case image::DECODE_ENCRYPTED:
        Require(decoded.GetLength() == size && size % 16 == 0);
        break;
      case image::DECODE_READ_FAILED:
        Require(decoded.GetLength() == 0 && size % 16 != 0);
        break;
      default:
        Require(false);
    }
    Require(decoded.GetPosition() == 0);
    if (result >= 0) CheckScanResult(image::FindVersionTag(decoded, kTag));
  }

  {
    image::MemImage raw;
    raw.Write(data, size);
    CheckScanResult(image::FindVersionTag(raw, kTag));
  }
  return 0;
}
