#include "cli/command/history_command.h"

#include <cstddef>
#include <string>
#include <vector>

#include "app/record/history_table.h"

namespace cli {

std::string SkippedText(std::size_t skipped) {
  return skipped == 1 ? "1 line that is not a run record skipped"
                      : std::to_string(skipped) + " lines that are not run records skipped";
}

int ShowHistory(const CommandLine& line, const app::Environment& env, LoaderView& view) {
  const std::optional<std::string> path = app::RecordFilePath(env, line.recordFile);
  if (!path) {
    const std::optional<std::string> named = env("VORLOADER_HISTORY");
    view.detail(named ? "run records are off (VORLOADER_HISTORY is empty)"
                      : "run records are off (neither XDG_STATE_HOME nor HOME names a folder)");
    return 0;
  }
  const app::HistoryRead read = app::ReadLastRecords(*path, static_cast<std::size_t>(line.historyCount));
  if (read.noFile) {
    view.detail("no run records yet in " + *path);
    return 0;
  }
  if (!read.error.empty()) {
    view.detail(read.error);
    return 1;
  }
  if (read.records.empty()) {
    view.detail("no run records in " + *path +
                (read.skipped > 0 ? " (" + SkippedText(read.skipped) + ")" : std::string()));
    return 0;
  }
  if (read.skipped > 0) view.detail(*path + ": " + SkippedText(read.skipped));
  for (const std::string& row : app::HistoryTableLines(read.records)) view.appendLog(row);
  return 0;
}

}  // namespace cli
