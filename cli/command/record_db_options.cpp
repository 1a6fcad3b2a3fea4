#include "cli/command/record_db_options.h"

#include "app/record_db/conninfo_check.h"
#include "cli/output/terminal_text.h"

namespace cli {

RecordDbChoice ChooseRecordDb(const CommandLine& line, const app::Environment& env) {
  RecordDbChoice choice;
  const bool fromLine = !line.recordDb.empty();
  std::string source = "--record-db";
  if (fromLine) {
    choice.conninfo = line.recordDb;
  } else if (const std::optional<std::string> named = env("VORLOADER_RECORD_DB"); named && !named->empty()) {
    choice.conninfo = *named;
    source = "VORLOADER_RECORD_DB";
  }
  if (choice.conninfo.empty()) return choice;
  const app::ConninfoCheck check = app::CheckConninfo(choice.conninfo);
  if (!app::RecordDatabaseBuiltIn())
    choice.error = "vorloader-cli: " + source + ": " + app::kNoRecordDatabase + " (see vorloader-cli --help)";
  else if (!check.error.empty())
    choice.error = "vorloader-cli: " + source +
                   " is not a connection string libpq can read: " + PrintableText(check.error) +
                   " (see vorloader-cli --help)";
  else if (fromLine && check.hasPassword)
    choice.error =
        "vorloader-cli: --record-db must not hold a password, which every user could read in the process "
        "list; give it in ~/.pgpass, PGPASSFILE or a service file (see vorloader-cli --help)";
  if (!choice.error.empty()) choice.conninfo.clear();
  return choice;
}

RunRecords::RunRecords(const CommandLine& line, const app::Environment& env) {
  if (line.command != Command::Connect && line.command != Command::RawBoot &&
      line.command != Command::Station)
    return;
  m_keeping =
      std::make_unique<app::RecordKeeping>(app::RecordSettings::ByRules(line.recordDb, line.recordFile, env),
                                           [this](const std::string& note) { Hear(note); });
}

std::shared_ptr<app::RecordSink> RunRecords::sink() const {
  return m_keeping ? m_keeping->sink() : nullptr;
}

void RunRecords::Hear(const std::string& note) {
  const std::lock_guard lock(m_mutex);
  if (m_tell)
    m_tell(note);
  else
    m_notes.push_back(note);
}

void RunRecords::TellAsTheyCome(std::function<void(const std::string& note)> tell) {
  const std::lock_guard lock(m_mutex);
  m_tell = std::move(tell);
  if (!m_tell) return;
  for (const std::string& note : m_notes) m_tell(note);
  m_notes.clear();
}

void RunRecords::End(LoaderView& view) {
  if (!m_keeping) return;
  const std::optional<app::RecordDelivery::Outcome> outcome = m_keeping->Finish(kDeliveryWait);
  {
    const std::lock_guard lock(m_mutex);
    for (const std::string& note : m_notes) view.detail(note);
    m_notes.clear();
  }
  if (outcome && outcome->pending > 0)
    view.detail(std::to_string(outcome->pending) +
                (outcome->pending == 1 ? " run record is" : " run records are") + " kept in " +
                m_keeping->settings().file.value_or(std::string()) +
                " for the record database; they go with a later run or `vorloader-cli sync`");
}

}  // namespace cli
