#pragma once
// The fields of a record line, in the order they are written: the one list that both the
// JSON writer (run_record.cpp) and the line reader (record_line_parser.cpp) follow.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/record/run_record.h"

namespace app::record_fields {

// Where a field's value lives in a RunRecord; the kind of member says how it is written
// and which JSON values read into it.
using Member = std::variant<std::string RunRecord::*,                   // text
                            std::optional<std::string> RunRecord::*,    // text or null
                            std::optional<std::uint32_t> RunRecord::*,  // 0..2^32-1 or null
                            int RunRecord::*,                           // the result code
                            std::int64_t RunRecord::*,                  // a count >= 0
                            std::optional<bool> RunRecord::*>;          // true, false or null

struct Field {
  std::string_view name;
  Member member;
  bool required;  // a line without it is no record
};

inline const std::array<Field, 22> kFields{{
    {"time", &RunRecord::time, true},
    {"workflow", &RunRecord::workflow, true},
    {"port", &RunRecord::port, true},
    {"path", &RunRecord::path, false},
    {"device_id", &RunRecord::deviceId, false},
    {"product", &RunRecord::product, false},
    {"version_before", &RunRecord::versionBefore, false},
    {"version_after", &RunRecord::versionAfter, false},
    {"file", &RunRecord::file, false},
    {"sha256", &RunRecord::sha256, false},
    {"code", &RunRecord::code, true},
    {"result", &RunRecord::result, true},
    {"duration_ms", &RunRecord::durationMs, false},
    {"loader", &RunRecord::loader, false},
    {"run_id", &RunRecord::runId, false},
    {"station", &RunRecord::station, false},
    {"erase_began", &RunRecord::eraseBegan, false},
    {"wait_ms", &RunRecord::waitMs, false},
    {"operator", &RunRecord::operatorName, false},
    {"work_order", &RunRecord::workOrder, false},
    {"profile", &RunRecord::profileName, false},
    {"profile_sha256", &RunRecord::profileSha256, false},
}};

// The lowest and highest result code a record holds: a stop is written as kStoppedCode.
inline constexpr int kLowestCode = kStoppedCode;
inline constexpr int kHighestCode = 255;

}  // namespace app::record_fields
