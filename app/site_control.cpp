#include "app/site_control.h"

#include <algorithm>

#include "catalogue/checked_firmware.h"
#include "device/version.h"

namespace app {

namespace {

// The profile states versions for people: "1.3" and "1.30" are the same version.
bool SameVersion(std::string stated, const std::string& file) {
  if (stated == file) return true;
  if (!stated.empty() && (stated.front() == 'V' || stated.front() == 'v')) stated.erase(0, 1);
  return device::VersionHundredths(stated) == device::VersionHundredths(file);
}

// The catalogue writes a product's name with "_" for its blanks ("Amp_One"), the table keeps
// it shown ("Amp One"); a profile may name it either way.
bool SameProduct(std::string named, const std::string& shown) {
  std::replace(named.begin(), named.end(), '_', ' ');
  return named == shown;
}

}  // namespace

std::string NotApprovedReason(const SiteControl& site, const catalogue::ProductTable& table,
                              std::size_t row) {
  if (!site.approved || row >= catalogue::kMaxProducts) return {};
  const std::string sha = catalogue::CheckedSha256Hex(table, row);
  const std::string& version = table.m_prodVersion[row];
  const std::string& product = table.m_prodName[row];
  const std::string image =
      table.m_prodHexFile[row] + " (V" + version + ", SHA-256 " + (sha.empty() ? "unknown" : sha) + ")";
  const std::string profile = "the profile \"" + site.profileName + "\"";
  const ApprovedImage* otherVersion = nullptr;
  for (const ApprovedImage& entry : *site.approved) {
    if (sha.empty() || entry.sha256 != sha) continue;
    if (!entry.product.empty() && !SameProduct(entry.product, product)) continue;
    if (!entry.version.empty() && !SameVersion(entry.version, version)) {
      otherVersion = &entry;
      continue;
    }
    return {};
  }
  if (otherVersion != nullptr)
    return image + " is not approved by " + profile + ": its entry on line " +
           std::to_string(otherVersion->line) + " states V" + otherVersion->version + ", the file is V" +
           version;
  return image + " is not approved by " + profile;
}

}  // namespace app
