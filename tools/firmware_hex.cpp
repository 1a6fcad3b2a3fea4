#include "tools/firmware_hex.h"

#include <algorithm>

namespace maker {
namespace {

constexpr std::size_t kRecordData = 16;
constexpr std::size_t kBytesAfterTag = 16;  // the loader reads the tag with what follows it
constexpr std::size_t kDefaultTagOffset = 256;
// The loader searches the last 100 data bytes and only up to the first zero byte among them;
// the extended address record of the base 0x0800xxxx brings a zero, so the tag sits at least
// 100 bytes after it.
constexpr std::size_t kMinTagOffset = 100;
constexpr std::size_t kMaxDataSize = 16u << 20;

bool IsHexDigits(const std::string& s, std::size_t n) {
  return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

bool IsVersionText(const std::string& s) {
  return !s.empty() && s.size() <= 8 &&
         std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

void AppendHexByte(std::string& out, std::uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[b >> 4];
  out += kDigits[b & 0x0F];
}

void AppendRecord(std::string& out, std::uint8_t type, std::uint16_t address,
                  std::span<const std::uint8_t> data) {
  auto sum = static_cast<std::uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
  out += ':';
  AppendHexByte(out, static_cast<std::uint8_t>(data.size()));
  AppendHexByte(out, static_cast<std::uint8_t>(address >> 8));
  AppendHexByte(out, static_cast<std::uint8_t>(address & 0xFF));
  AppendHexByte(out, type);
  for (const std::uint8_t b : data) {
    AppendHexByte(out, b);
    sum = static_cast<std::uint8_t>(sum + b);
  }
  AppendHexByte(out, static_cast<std::uint8_t>(0x100 - sum));
  out += "\r\n";
}

void AppendExtendedAddress(std::string& out, std::uint32_t address) {
  const std::uint8_t upper[2] = {static_cast<std::uint8_t>(address >> 24),
                                 static_cast<std::uint8_t>(address >> 16)};
  AppendRecord(out, 0x04, 0, upper);
}

// Filler without zero bytes: the loader's tag search stops at a zero byte, so a zero before
// the tag would hide it. Deterministic, so the same recipe always gives the same file.
std::vector<std::uint8_t> Filler(std::size_t n, const std::string& seedText) {
  std::uint32_t state = 2166136261u;
  for (char c : seedText) state = (state ^ static_cast<std::uint8_t>(c)) * 16777619u;
  std::vector<std::uint8_t> data(n);
  for (auto& b : data) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(1 + (state >> 24) % 255);
  }
  return data;
}

}  // namespace

std::string HexRecord(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data) {
  std::string out;
  AppendRecord(out, type, address, data);
  return out;
}

std::string HexText(std::span<const std::uint8_t> data, std::uint32_t baseAddress, std::size_t perRecord) {
  std::string out;
  out.reserve(data.size() / perRecord * (11 + 2 * perRecord + 2) + 64);
  std::uint32_t address = baseAddress;
  if ((address >> 16) != 0) AppendExtendedAddress(out, address);
  for (std::size_t pos = 0; pos < data.size(); pos += perRecord) {
    if (pos != 0 && (address & 0xFFFF) == 0) AppendExtendedAddress(out, address);
    const std::size_t n = std::min(perRecord, data.size() - pos);
    AppendRecord(out, 0x00, static_cast<std::uint16_t>(address & 0xFFFF), data.subspan(pos, n));
    address += static_cast<std::uint32_t>(n);
  }
  AppendRecord(out, 0x01, 0, {});
  return out;
}

std::string VersionTag(const std::string& code, const std::string& version) {
  return "VOR_T" + code + "_V" + version;
}

std::string BuildFirmwareHex(const FirmwareRecipe& recipe, std::string& error) {
  if (!IsHexDigits(recipe.code, 4)) {
    error = "product code must be four hexadecimal digits";
    return {};
  }
  if (!IsVersionText(recipe.version)) {
    error = "version must be 1 to 8 digits and dots";
    return {};
  }
  if (recipe.dataSize > kMaxDataSize) {
    error = "size too large";
    return {};
  }
  const std::string tag = VersionTag(recipe.code, recipe.version);
  // The tag, its terminating zero, and at least 16 bytes after the tag's first 15 characters.
  const std::size_t tagSpan = std::max(tag.size() + 1, std::size_t{15} + kBytesAfterTag);
  std::size_t tagOffset = 0;
  if (recipe.tagOffset) {
    tagOffset = *recipe.tagOffset;
  } else {
    if (recipe.dataSize < kMinTagOffset + tagSpan) {
      error = "size too small: the version tag needs at least " + std::to_string(kMinTagOffset + tagSpan) +
              " bytes of data to be found";
      return {};
    }
    tagOffset = std::min(kDefaultTagOffset, recipe.dataSize - tagSpan);
  }
  if (tagOffset + tagSpan > recipe.dataSize) {
    error = "size too small for the version tag at its offset";
    return {};
  }

  std::vector<std::uint8_t> data = Filler(recipe.dataSize, tag);
  std::copy(tag.begin(), tag.end(), data.begin() + static_cast<std::ptrdiff_t>(tagOffset));
  data[tagOffset + tag.size()] = 0;

  return HexText(data, recipe.baseAddress, kRecordData);
}

std::vector<std::uint8_t> PadToCipherBlocks(const std::string& text) {
  std::vector<std::uint8_t> out(text.begin(), text.end());
  out.resize((out.size() + 15) / 16 * 16, 0);
  return out;
}

}  // namespace maker
