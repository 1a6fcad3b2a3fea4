// The database's columns follow the record's one field list: the same names in the same order,
// and every field goes to its column and back unchanged. A field added to the record and not
// to the table fails here.

#include "app/record_db/record_columns.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "app/record/record_fields.h"
#include "app/record/run_record.h"

namespace app {
namespace {

TEST(RecordColumns, AreTheRecordsFieldsInTheirOrder) {
  std::vector<std::string> fields;
  for (const record_fields::Field& f : record_fields::kFields) fields.emplace_back(f.name);
  std::vector<std::string> columns;
  for (const RecordColumn& c : RecordColumns()) columns.emplace_back(c.name);
  EXPECT_EQ(columns, fields);
}

// A value for each field that no default has, whatever fields the record has.
RunRecord EveryFieldSet() {
  RunRecord full;
  int n = 0;
  for (const record_fields::Field& f : record_fields::kFields) {
    ++n;
    const std::string text = std::string(f.name) + " \xe9";
    std::visit(
        [&](auto member) {
          using Value = std::remove_reference_t<decltype(full.*member)>;
          if constexpr (std::is_same_v<Value, std::string> ||
                        std::is_same_v<Value, std::optional<std::string>>)
            full.*member = text;
          else if constexpr (std::is_same_v<Value, std::optional<bool>>)
            full.*member = false;
          else if constexpr (std::is_same_v<Value, std::optional<std::uint32_t>>)
            full.*member = 4294967295u - static_cast<std::uint32_t>(n);
          else
            full.*member = static_cast<Value>(n);
        },
        f.member);
  }
  return full;
}

TEST(RecordColumns, CarryEveryFieldToTheTableAndBack) {
  const RunRecord full = EveryFieldSet();
  for (const record_fields::Field& f : record_fields::kFields)
    std::visit([&](auto member) { EXPECT_NE(full.*member, RunRecord{}.*member) << f.name; }, f.member);

  RunRecord back;
  back.code = 1;
  for (const RecordColumn& c : RecordColumns()) c.set(back, c.get(full));
  EXPECT_EQ(back, full);
  // The server writes booleans back as "t" and "f"; NULL leaves an optional field empty.
  for (const RecordColumn& c : RecordColumns()) {
    if (c.name == "erase_began") {
      c.set(back, std::string("t"));
      EXPECT_EQ(back.eraseBegan, true);
    }
    if (c.name == "device_id") {
      c.set(back, std::nullopt);
      EXPECT_EQ(back.deviceId, std::nullopt);
    }
  }
}

}  // namespace
}  // namespace app
