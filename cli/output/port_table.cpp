#include "cli/output/port_table.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace cli {

namespace {

constexpr std::size_t kColumns = 6;
using Row = std::array<std::string, kColumns>;

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
  std::vector<Row> rows{{"PORT", "DEVICE", "USB ID", "MANUFACTURER", "PRODUCT", "SERIAL"}};
  for (const PortEntry& p : ports)
    rows.push_back({"COM" + std::to_string(p.number), OrDash(p.path), UsbId(p), OrDash(p.manufacturer),
                    OrDash(p.product), OrDash(p.serialNumber)});

  std::array<std::size_t, kColumns> width{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());

  std::vector<std::string> lines;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line += std::string(width[c] - row[c].size() + 2, ' ');
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace cli
