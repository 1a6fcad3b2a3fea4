#include "window/record_keeping_start.h"

#include "app/record_db/conninfo_check.h"

namespace window {

std::unique_ptr<app::RecordKeeping> StartRecordKeeping(LoaderView& view, const app::Environment& env) {
  std::string conninfo = env("VORLOADER_RECORD_DB").value_or(std::string());
  if (!conninfo.empty()) {
    if (const app::ConninfoCheck check = app::CheckConninfo(conninfo); !check.error.empty()) {
      view.detail("VORLOADER_RECORD_DB is not a connection string libpq can read: " + check.error);
      conninfo.clear();
    }
  }
  return std::make_unique<app::RecordKeeping>(app::RecordSettings::ByRules(std::move(conninfo), {}, env),
                                              [&view](const std::string& note) { view.detail(note); });
}

}  // namespace window
