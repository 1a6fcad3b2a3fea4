#pragma once
// The records as `vorloader-cli history` shows them: one aligned row per run.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/run_record.h"

namespace app {

inline constexpr std::size_t kMaxTableCell = 40;

// Latin-1 text for one cell of a terminal table: one byte is one column; control bytes show
// as '?', so they cannot move the cursor; a text longer than kMaxTableCell is cut to
// kMaxTableCell - 3 bytes and "...".
std::string TableCell(std::string_view text);

// A heading row, then one row per record, each ending with "\n"; nothing when there are no
// records. Columns: time, port, device ID, product, "before -> after", result; missing values
// show as "-". The text is UTF-8; control bytes in the records show as '?'; a text longer than
// 40 columns is cut to 37 and "..." (the record keeps it whole).
std::string FormatHistoryTable(const std::vector<RunRecord>& records);

}  // namespace app
