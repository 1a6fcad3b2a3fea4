#pragma once
// The columns of the table `vorloader_runs` that the loader writes: one per record field, in one
// list that the insert, the reading back and the note about a missing column all follow. A new
// record field is one new entry here and one in packaging/sql/vorloader_runs.sql (with an
// upgrade script beside it); a test holds the two lists together. The table has one more
// column, db_role, that the database fills itself.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/record/run_record.h"

namespace app {

inline constexpr std::string_view kRunsTable = "vorloader_runs";

struct RecordColumn {
  std::string_view name;  // the column's name
  std::string_view type;  // its SQL type as the table file declares it (NOT NULL, PRIMARY KEY, DEFAULT)
  // The field as the text PostgreSQL reads for the column's type; nullopt for NULL.
  std::optional<std::string> (*get)(const RunRecord&);
  // Puts the column's text (nullopt for NULL) back into the field.
  void (*set)(RunRecord&, const std::optional<std::string>&);
};

std::span<const RecordColumn> RecordColumns();

}  // namespace app
