// Feeds arbitrary bytes as a station profile. A profile that reads has a name, digests of the
// right form and texts without control characters; one that does not has a reason with a place.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/profile/station_profile.h"

namespace {

bool Clean(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const app::ProfileReading r = app::ParseStationProfile(text, "fuzz.toml");
  if (!r.profile) {
    if (r.error.rfind("fuzz.toml", 0) != 0) __builtin_trap();
    return 0;
  }
  const app::StationProfile& p = *r.profile;
  if (p.name.empty() || !Clean(p.name) || !Clean(p.operatorName) || !Clean(p.workOrder)) __builtin_trap();
  if ((p.options & ~15) != 0) __builtin_trap();
  if (p.approved)
    for (const app::ApprovedImage& image : *p.approved)
      if (image.sha256.size() != 64) __builtin_trap();
  return 0;
}
