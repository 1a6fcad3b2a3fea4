#pragma once
// The columns of the table `vorloader_runs`: one per record field, in one list that the table's
// definition, the insert and the reading back all follow. A new record field is one new entry.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/record/run_record.h"

namespace app {

inline constexpr std::string_view kRunsTable = "vorloader_runs";

struct RecordColumn {
  std::string_view name;  // the column's name
  std::string_view type;  // its SQL type, with NOT NULL or PRIMARY KEY where it has one
  // The field as the text PostgreSQL reads for the column's type; nullopt for NULL.
  std::optional<std::string> (*get)(const RunRecord&);
  // Puts the column's text (nullopt for NULL) back into the field.
  void (*set)(RunRecord&, const std::optional<std::string>&);
};

std::span<const RecordColumn> RecordColumns();

// "CREATE TABLE IF NOT EXISTS vorloader_runs (...)" for the columns above.
std::string CreateRunsTableSql();

}  // namespace app
