#include "app/record/history_table.h"

#include "common/aligned_table.h"

namespace app {

std::string TableCell(std::string_view text) {
  std::string out(text.size() > kMaxTableCell ? std::string(text.substr(0, kMaxTableCell - 3)) + "..."
                                              : std::string(text));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
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

std::string FormatHistoryTable(const std::vector<RunRecord>& records) {
  if (records.empty()) return {};
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"Time", "Port", "Device ID", "Product", "Before -> After", "Result"});
  for (const RunRecord& r : records)
    rows.push_back({TableCell(r.time), TableCell(r.port), r.deviceId ? std::to_string(*r.deviceId) : "-",
                    OptionalCell(r.product), Versions(r), TableCell(r.result)});

  std::string out;
  for (const std::string& line : AlignedTableLines(rows)) out += Latin1ToUtf8(line) + "\n";
  return out;
}

}  // namespace app
