#include "app/record/file_record_sink.h"

namespace app {

std::shared_ptr<FileRecordSink> FileRecordSink::ByRules(const std::string& commandLineFile,
                                                        const Environment& env) {
  return std::make_shared<FileRecordSink>(RecordFilePath(env, commandLineFile));
}

std::string FileRecordSink::Check() {
  if (!m_path) return {};
  const AppendResult r = OpenRecordFile(*m_path);
  return r.ok() ? std::string() : "run records cannot be written: " + r.error;
}

std::string FileRecordSink::Write(const RunRecord& record) {
  if (!m_path) return {};
  const AppendResult r = AppendRecord(*m_path, ToJsonLine(record));
  return r.ok() ? std::string() : "run record not written: " + r.error;
}

}  // namespace app
