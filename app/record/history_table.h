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

// Whether each row begins with the station that ran it: the record database holds the runs of
// every station, the record file those of this machine alone.
enum class StationColumn { Without, With };

// A heading row, then one row per record, as UTF-8 lines without line ends; none when there
// are no records. Columns: the station (with StationColumn::With; "-" for older records, the
// host name shown whole), time, port, device ID, product, "before -> after", result; missing
// values show as "-". Columns are aligned as the terminal shows them (one Latin-1 byte, one
// column); control bytes in the records show as '?'; a text longer than 40 columns is cut to
// 37 and "..." (the record keeps it whole).
std::vector<std::string> HistoryTableLines(const std::vector<RunRecord>& records,
                                           StationColumn station = StationColumn::Without);

}  // namespace app
