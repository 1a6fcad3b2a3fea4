#include "image/hex_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

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

// Appends a record's data bytes to the window and returns how many; a record with a character
// that is not a hexadecimal digit among its data adds nothing.
std::size_t AppendRecordData(const std::uint8_t* data, std::size_t count, std::string& window) {
  std::array<char, 255> bytes;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t b = 0;
    if (!ParseHexPair(data[2 * i], data[2 * i + 1], b)) return 0;
    bytes[i] = static_cast<char>(b);
  }
  window.append(bytes.data(), count);
  if (window.size() > kWindowLength) window.erase(0, window.size() - kWindowLength);
  return count;
}

// Remembers where the tag last occurred in the stream of data bytes, looking only at what each
// record brought, so that the full search runs only while an occurrence is in the window.
class TagSighting {
 public:
  explicit TagSighting(const std::string& tag) : m_tag(tag) {}

  // `added` bytes have just been appended to `window` (already trimmed).
  void Note(const std::string& window, std::size_t added) {
    m_streamEnd += added;
    if (m_tag.empty() || added == 0) return;
    const std::size_t size = window.size();
    const std::size_t back = added + m_tag.size() - 1;
    std::size_t at = size > back ? size - back : 0;
    for (;;) {
      at = std::string_view(window).find(m_tag, at);
      if (at == std::string_view::npos) break;
      m_lastAt = m_streamEnd - size + at;
      m_seen = true;
      ++at;
    }
  }

  // An occurrence of the tag lies wholly in the window (always true for an empty tag).
  bool InWindow(const std::string& window) const {
    return m_tag.empty() || (m_seen && m_lastAt >= m_streamEnd - window.size());
  }

 private:
  const std::string& m_tag;
  std::size_t m_streamEnd = 0;  // data bytes appended so far
  std::size_t m_lastAt = 0;     // stream position of the latest occurrence
  bool m_seen = false;
};

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

std::string ScanResult::Text() const {
  switch (error) {
    case ScanError::kNone:
      return tag.value_or(std::string());
    case ScanError::kFileOpen:
      return kScanFileOpen;
    case ScanError::kNotIntel:
      return kScanNotIntel;
    case ScanError::kSearchFail:
      return kScanSearchFail;
  }
  return {};
}

ScanResult FindVersionTag(MemImage& image, const std::string& prodTag) {
  ScanResult result;
  // The walk reads the image in place: it is held in memory whole, and record marks are
  // found with memchr rather than one character read at a time.
  const std::vector<std::uint8_t>& bytes = image.Bytes();
  const std::uint8_t* text = bytes.data();
  const std::size_t size = bytes.size();
  if (!StartsLikeIntelHex(text, std::min(size, kProbeLength))) {
    result.error = ScanError::kNotIntel;
    return result;
  }

  std::string window;
  window.reserve(kWindowLength + 255);
  TagSighting sighting(prodTag);
  std::size_t pos = 0;
  while (pos < size) {
    const void* mark = std::memchr(text + pos, ':', size - pos);
    if (mark == nullptr) break;  // line ends and checksums after the last record
    pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(mark) - text) + 1;

    if (size - pos < 2) break;
    std::uint8_t count = 0;
    const bool countOk = ParseHexPair(text[pos], text[pos + 1], count);
    pos += 2;
    if (!countOk) continue;

    const std::size_t bodyLength = 6 + 2 * static_cast<std::size_t>(count);
    if (size - pos < bodyLength) break;  // cut short: the image ends here

    // Every record type carries its bytes into the window; addresses are not interpreted.
    sighting.Note(window, AppendRecordData(text + pos + 6, count, window));
    pos += bodyLength;
    std::string found;
    if (sighting.InWindow(window) && FindInWindow(window, prodTag, found)) {
      result.tag = std::move(found);
      return result;
    }
  }
  result.error = ScanError::kSearchFail;
  return result;
}

ScanResult ScanHexImage(const std::string& prodTag, const std::string& path) {
  MemImage image;
  const int decoded = DecodeFirmwareFile(path, image);
  if (decoded < 0) {
    ScanResult result;
    result.error = ScanError::kFileOpen;
    return result;
  }
  ScanResult result = FindVersionTag(image, prodTag);
  result.form = decoded == DECODE_ENCRYPTED ? DECODE_ENCRYPTED : DECODE_PLAIN;
  return result;
}

}  // namespace image
