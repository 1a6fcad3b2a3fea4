#include "app/record_keeping.h"

#include "app/record_db/spooling_database_sink.h"

namespace app {

RecordSettings RecordSettings::ByRules(std::string conninfo, const std::string& commandLineFile,
                                       const Environment& env) {
  return RecordSettings{RecordFilePath(env, commandLineFile), std::move(conninfo)};
}

RecordKeeping::RecordKeeping(RecordSettings settings, NoteFunction note)
    : m_settings(std::move(settings)), m_file(std::make_shared<FileRecordSink>(m_settings.file)) {
  m_sink = m_file;
  if (m_settings.conninfo.empty()) return;
  if (!m_settings.file) {
    if (note) note("run records are off, so none is delivered to the record database");
    return;
  }
  m_delivery = std::make_unique<RecordDelivery>(
      RecordDelivery::Settings{m_settings.conninfo, *m_settings.file}, std::move(note));
  m_sink = std::make_shared<SpoolingDatabaseSink>(*m_file, *m_delivery);
}

RecordKeeping::~RecordKeeping() = default;

std::optional<RecordDelivery::Outcome> RecordKeeping::Finish(std::chrono::milliseconds maxWait) {
  if (!m_delivery) return std::nullopt;
  return m_delivery->Finish(maxWait);
}

}  // namespace app
