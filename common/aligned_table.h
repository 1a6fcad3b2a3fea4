#pragma once
// Rows of cells as lines of text with their columns aligned, for the tables the terminal
// prints (the ports, the run history).

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

// One line per row: every cell but the last padded with blanks to its column's widest cell,
// then two blanks between columns. A width counts bytes (one byte, one column), so cells are
// given in a one-byte-per-character form (ASCII or Latin-1); a row shorter than the others
// ends early.
inline std::vector<std::string> AlignedTableLines(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width;
  for (const std::vector<std::string>& row : rows) {
    if (width.size() < row.size()) width.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::vector<std::string> lines;
  for (const std::vector<std::string>& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(width[c] - row[c].size() + 2, ' ');
    }
    lines.push_back(std::move(line));
  }
  return lines;
}
