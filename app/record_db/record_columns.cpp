#include "app/record_db/record_columns.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace app {

namespace {

template <typename Number>
std::optional<Number> ParseNumber(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  Number value{};
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

// Columns of a text field that is always present, of an optional one, and of a number.
#define VOR_TEXT(field)                                                     \
  [](const RunRecord& r) -> std::optional<std::string> { return r.field; }, \
      [](RunRecord& r, const std::optional<std::string>& v) { r.field = v.value_or(std::string()); }
#define VOR_OPTIONAL_TEXT(field)                                            \
  [](const RunRecord& r) -> std::optional<std::string> { return r.field; }, \
      [](RunRecord& r, const std::optional<std::string>& v) { r.field = v; }
#define VOR_NUMBER(field, Type)                                                                   \
  [](const RunRecord& r) -> std::optional<std::string> { return std::to_string(r.field); },       \
      [](RunRecord& r, const std::optional<std::string>& v) {                                     \
        r.field = ParseNumber<Type>(v).value_or(Type{}); /* NOLINT(bugprone-macro-parentheses) */ \
      }

// NOLINTBEGIN(cppcoreguidelines-macro-usage)
const std::array<RecordColumn, 22> kColumns{{
    {"time", "text NOT NULL", VOR_TEXT(time)},
    {"workflow", "text NOT NULL", VOR_TEXT(workflow)},
    {"port", "text NOT NULL", VOR_TEXT(port)},
    {"path", "text NOT NULL", VOR_TEXT(path)},
    {"device_id", "bigint",
     [](const RunRecord& r) -> std::optional<std::string> {
       if (!r.deviceId) return std::nullopt;
       return std::to_string(*r.deviceId);
     },
     [](RunRecord& r, const std::optional<std::string>& v) { r.deviceId = ParseNumber<std::uint32_t>(v); }},
    {"product", "text", VOR_OPTIONAL_TEXT(product)},
    {"version_before", "text", VOR_OPTIONAL_TEXT(versionBefore)},
    {"version_after", "text", VOR_OPTIONAL_TEXT(versionAfter)},
    {"file", "text", VOR_OPTIONAL_TEXT(file)},
    {"sha256", "text", VOR_OPTIONAL_TEXT(sha256)},
    {"code", "integer NOT NULL", VOR_NUMBER(code, int)},
    {"result", "text NOT NULL", VOR_TEXT(result)},
    {"duration_ms", "bigint NOT NULL", VOR_NUMBER(durationMs, std::int64_t)},
    {"loader", "text NOT NULL", VOR_TEXT(loader)},
    {"run_id", "text PRIMARY KEY", VOR_TEXT(runId)},
    {"station", "text NOT NULL", VOR_TEXT(station)},
    {"erase_began", "boolean",
     [](const RunRecord& r) -> std::optional<std::string> {
       if (!r.eraseBegan) return std::nullopt;
       return *r.eraseBegan ? "true" : "false";
     },
     [](RunRecord& r, const std::optional<std::string>& v) {
       // The server writes a boolean back as "t" or "f".
       if (!v)
         r.eraseBegan.reset();
       else
         r.eraseBegan = *v == "t" || *v == "true";
     }},
    {"wait_ms", "bigint NOT NULL DEFAULT 0", VOR_NUMBER(waitMs, std::int64_t)},
    {"operator", "text NOT NULL DEFAULT ''", VOR_TEXT(operatorName)},
    {"work_order", "text NOT NULL DEFAULT ''", VOR_TEXT(workOrder)},
    {"profile", "text NOT NULL DEFAULT ''", VOR_TEXT(profileName)},
    {"profile_sha256", "text NOT NULL DEFAULT ''", VOR_TEXT(profileSha256)},
}};
// NOLINTEND(cppcoreguidelines-macro-usage)

#undef VOR_TEXT
#undef VOR_OPTIONAL_TEXT
#undef VOR_NUMBER

}  // namespace

std::span<const RecordColumn> RecordColumns() {
  return kColumns;
}

}  // namespace app
