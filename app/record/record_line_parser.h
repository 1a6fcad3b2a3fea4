#pragma once
// Reads one line of the record file back into a RunRecord. The file is shared by several
// loaders and may end in a line that is still being written, or hold lines that a person or
// another program put there: anything that is not a flat JSON object of strings, numbers,
// booleans and nulls with the record's fields of the right kinds is refused. The JSON itself
// (escapes, UTF-8, numbers) is read by nlohmann-json; the fields follow record_fields.h.

#include <optional>
#include <string>
#include <string_view>

#include "app/record/run_record.h"

namespace app {

// The record on `line` (without its line end), or nullopt. "time", "workflow", "port", "code"
// and "result" must be present; the other fields may be missing (read as null, or empty and
// 0). Fields this loader does not know are skipped when their values are strings, numbers,
// booleans or null. Texts come back as Latin-1 bytes; a character beyond Latin-1 reads as '?'.
// Integers are exact: device_id 0..2^32-1, code -1..255 (-1: stopped), duration_ms and
// wait_ms 0..2^63-1.
std::optional<RunRecord> ParseRecordLine(std::string_view line);

// Well-formed UTF-8 as Latin-1 bytes; a character beyond Latin-1 becomes '?'.
std::string Utf8ToLatin1(const std::string& utf8);

}  // namespace app
