#include "window/record_delivery_start.h"

#include "app/record_db/conninfo_check.h"

namespace window {

std::unique_ptr<app::RecordDelivery> StartRecordDelivery(LoaderView& view, const app::Environment& env) {
  const std::optional<std::string> conninfo = env("VORLOADER_RECORD_DB");
  if (!conninfo || conninfo->empty()) return nullptr;
  const app::ConninfoCheck check = app::CheckConninfo(*conninfo);
  if (!check.error.empty()) {
    view.detail("VORLOADER_RECORD_DB is not a connection string libpq can read: " + check.error);
    return nullptr;
  }
  const std::optional<std::string> file = app::RecordFilePath(env);
  if (!file) {
    view.detail("run records are off, so none is delivered to the record database");
    return nullptr;
  }
  return std::make_unique<app::RecordDelivery>(app::RecordDelivery::Settings{*conninfo, *file},
                                               [&view](const std::string& note) { view.detail(note); });
}

}  // namespace window
