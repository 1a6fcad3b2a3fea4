#include "app/record/history_table.h"

#include <algorithm>
#include <array>

namespace app {

namespace {

constexpr std::size_t kColumns = 6;
constexpr std::size_t kMaxCell = 40;
using Row = std::array<std::string, kColumns>;

// Latin-1 text for one cell: one byte is one column; control bytes cannot move the cursor; a
// text longer than kMaxCell is cut, its end shown as "...".
std::string Cell(std::string_view text) {
  std::string out(text.size() > kMaxCell ? std::string(text.substr(0, kMaxCell - 3)) + "..."
                                         : std::string(text));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

std::string OptionalCell(const std::optional<std::string>& text) {
  return text ? Cell(*text) : std::string("-");
}

std::string Versions(const RunRecord& r) {
  if (!r.versionBefore && !r.versionAfter) return "-";
  return OptionalCell(r.versionBefore) + " -> " + OptionalCell(r.versionAfter);
}

}  // namespace

std::string FormatHistoryTable(const std::vector<RunRecord>& records) {
  if (records.empty()) return {};
  std::vector<Row> rows;
  rows.push_back({"Time", "Port", "Device ID", "Product", "Before -> After", "Result"});
  for (const RunRecord& r : records)
    rows.push_back({Cell(r.time), Cell(r.port), r.deviceId ? std::to_string(*r.deviceId) : "-",
                    OptionalCell(r.product), Versions(r), Cell(r.result)});

  std::array<std::size_t, kColumns> width{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());

  std::string out;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line.append(width[c] - row[c].size() + 2, ' ');
    }
    out += Latin1ToUtf8(line) + "\n";
  }
  return out;
}

}  // namespace app
