#include "app/record/history_table.h"

#include "common/aligned_table.h"

namespace app {

namespace {

// Control bytes as '?', so that a cell cannot move the cursor.
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

std::string TableCell(std::string_view text) {
  return Printable(text.size() > kMaxTableCell ? std::string(text.substr(0, kMaxTableCell - 3)) + "..."
                                               : std::string(text));
}

namespace {

std::string OptionalCell(const std::optional<std::string>& text) {
  return text ? TableCell(*text) : std::string("-");
}

std::string Versions(const RunRecord& r) {
  if (!r.versionBefore && !r.versionAfter) return "-";
  return OptionalCell(r.versionBefore) + " -> " + OptionalCell(r.versionAfter);
}

}  // namespace

std::vector<std::string> HistoryTableLines(const std::vector<RunRecord>& records, StationColumn station) {
  if (records.empty()) return {};
  const bool withStation = station == StationColumn::With;
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back();
  if (withStation) rows.back().emplace_back("Station");
  rows.back().insert(rows.back().end(),
                     {"Time", "Port", "Device ID", "Product", "Before -> After", "Result"});
  for (const RunRecord& r : records) {
    std::vector<std::string>& row = rows.emplace_back();
    if (withStation) row.push_back(r.station.empty() ? std::string("-") : Printable(r.station));
    row.insert(row.end(),
               {TableCell(r.time), TableCell(r.port), r.deviceId ? std::to_string(*r.deviceId) : "-",
                OptionalCell(r.product), Versions(r), TableCell(r.result)});
  }
  std::vector<std::string> lines = AlignedTableLines(rows);
  for (std::string& line : lines) line = Latin1ToUtf8(line);
  return lines;
}

}  // namespace app
