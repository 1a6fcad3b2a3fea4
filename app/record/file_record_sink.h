#pragma once
// The record file as a RecordSink: every record is one line appended to one file.

#include <memory>
#include <optional>
#include <string>

#include "app/record/record_file.h"
#include "app/record/record_sink.h"

namespace app {

// Guarded by the file system alone: the sink holds only its path, set when it is made, and
// each Check or Write opens the file, appends or touches it and closes it again. A record is
// one write() on a file opened for appending, so lines of several threads (or several loaders)
// appending at once never interleave, and no lock is taken.
class FileRecordSink final : public RecordSink {
 public:
  // Records go to the file at `path`; none are kept when it is nullopt (records off).
  explicit FileRecordSink(std::optional<std::string> path) : m_path(std::move(path)) {}

  // The file the rules of RecordFilePath choose: --record, VORLOADER_HISTORY, the state folder.
  static std::shared_ptr<FileRecordSink> ByRules(const std::string& commandLineFile = {},
                                                 const Environment& env = ProcessEnvironment());

  const std::optional<std::string>& path() const { return m_path; }

  // Makes the file's folder and opens the file for appending (making it when it is missing),
  // writing nothing.
  std::string Check() override;
  std::string Write(const RunRecord& record) override;

 private:
  const std::optional<std::string> m_path;
};

}  // namespace app
