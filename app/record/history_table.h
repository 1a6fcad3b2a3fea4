#pragma once
// The records as `vorloader-cli history` shows them: one aligned row per run.

#include <string>
#include <vector>

#include "app/record/run_record.h"

namespace app {

// A heading row, then one row per record, each ending with "\n"; nothing when there are no
// records. Columns: time, port, device ID, product, "before -> after", result; missing values
// show as "-". The text is UTF-8; control bytes in the records show as '?'; a text longer than
// 40 columns is cut to 37 and "..." (the record keeps it whole).
std::string FormatHistoryTable(const std::vector<RunRecord>& records);

}  // namespace app
