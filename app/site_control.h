#pragma once
// Who runs the loader, for what, and under which station profile: what every run's record names,
// and the profile's list of approved images, which decides whether a device's image may be
// programmed at all. Set by the front end before the runs begin; read-only while they run, so
// sessions on several threads share one.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/profile/station_profile.h"
#include "catalogue/product_table.h"

namespace app {

struct SiteControl {
  std::string operatorName;
  std::string workOrder;
  std::string profileName;    // empty without a profile
  std::string profileSha256;  // of the profile file
  // Absent: every image may be programmed. Present: only those on it.
  std::optional<std::vector<ApprovedImage>> approved;
};

// Why the profile does not let row `row`'s image (its checked SHA-256, its product name and
// version) be programmed: one sentence naming the file, its SHA-256 and the profile; empty when
// it does (or there is no approved list). An entry that names a product approves the image for
// that product only; one that states a version approves it only when the file is that version.
std::string NotApprovedReason(const SiteControl& site, const catalogue::ProductTable& table, std::size_t row);

}  // namespace app
