#include "image/hex_scan.h"

#include <array>
#include <string_view>

#include "image/firmware_decoder.h"
#include "image/hex_digits.h"
#include "image/intel_hex_probe.h"

namespace image {
namespace {

// The most recent data bytes kept for the search, one character per byte.
constexpr std::size_t kWindowLength = 100;
// A window this short or shorter is not searched yet.
constexpr std::size_t kMinSearchedLength = 32;
// The text handed back: the tag and the version after it.
constexpr std::size_t kTagTextLength = 15;
// A match needs at least this many window characters from its start on...
constexpr std::size_t kMinTailFromMatch = 17;
// ...and may start no later than this position.
constexpr std::size_t kLastMatchPosition = 83;

// Address (4), record type (2) and up to 255 data bytes as two characters each.
constexpr std::size_t kMaxRecordBody = 6 + 2 * 255;

// Appends a record's data bytes to the window; a record with a character that is not a
// hexadecimal digit among its data adds nothing.
void AppendRecordData(const std::uint8_t* data, std::size_t count, std::string& window) {
  std::array<char, 255> bytes;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t b = 0;
    if (!ParseHexPair(data[2 * i], data[2 * i + 1], b)) return;
    bytes[i] = static_cast<char>(b);
  }
  window.append(bytes.data(), count);
  if (window.size() > kWindowLength) window.erase(0, window.size() - kWindowLength);
}

// The search ends at the window's first zero character: a zero byte hides what follows it
// until it has left the window.
bool FindInWindow(const std::string& window, const std::string& prodTag, std::string& found) {
  if (window.size() <= kMinSearchedLength) return false;
  const std::string_view searched = std::string_view(window).substr(0, window.find('\0'));
  const std::size_t e = searched.find(prodTag);
  if (e == std::string_view::npos || e > kLastMatchPosition || window.size() - e < kMinTailFromMatch)
    return false;
  found = window.substr(e, kTagTextLength);
  return true;
}

}  // namespace

std::string FindVersionTag(MemImage& image, const std::string& prodTag) {
  image.SeekToBegin();
  std::array<std::uint8_t, kProbeLength> probe;
  const std::size_t probed = image.Read(probe.data(), probe.size());
  if (!StartsLikeIntelHex(probe.data(), probed)) return kScanNotIntel;

  image.SeekToBegin();
  std::string window;
  std::array<std::uint8_t, kMaxRecordBody> record;
  for (;;) {
    std::uint8_t c = 0;
    if (image.Read(&c, 1) == 0) break;
    if (c != ':') continue;  // line ends and checksums between records

    std::array<std::uint8_t, 2> countText;
    if (image.Read(countText.data(), countText.size()) < countText.size()) break;
    std::uint8_t count = 0;
    if (!ParseHexPair(countText[0], countText[1], count)) continue;

    const std::size_t bodyLength = 6 + 2 * static_cast<std::size_t>(count);
    if (image.Read(record.data(), bodyLength) < bodyLength) break;  // cut short: the image ends here

    // Every record type carries its bytes into the window; addresses are not interpreted.
    AppendRecordData(record.data() + 6, count, window);
    std::string found;
    if (FindInWindow(window, prodTag, found)) return found;
  }
  return kScanSearchFail;
}

std::string ScanHexImage(const std::string& prodTag, std::uint32_t& prodState, const std::string& path) {
  MemImage image;
  const int decoded = DecodeFirmwareFile(path, image);
  if (decoded < 0) return kScanFileOpen;
  prodState = decoded == DECODE_ENCRYPTED ? kScanStateEncryptedOk : kScanStatePlainOk;
  return FindVersionTag(image, prodTag);
}

}  // namespace image
