#include "cli/output/port_table.h"

#include <cstdio>

#include "common/aligned_table.h"

namespace cli {

namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

std::string UsbId(const PortEntry& p) {
  if (p.vendorId == 0 && p.productId == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", static_cast<unsigned>(p.vendorId & 0xFFFF),
                static_cast<unsigned>(p.productId & 0xFFFF));
  return text;
}

}  // namespace

std::vector<std::string> PortTableLines(const std::vector<PortEntry>& ports) {
  if (ports.empty()) return {};
  std::vector<std::vector<std::string>> rows{
      {"PORT", "DEVICE", "USB ID", "MANUFACTURER", "PRODUCT", "SERIAL"}};
  for (const PortEntry& p : ports)
    rows.push_back({p.comName(), OrDash(p.path), UsbId(p), OrDash(p.manufacturer), OrDash(p.product),
                    OrDash(p.serialNumber)});

  return AlignedTableLines(rows);
}

}  // namespace cli
