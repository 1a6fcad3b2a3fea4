#include "app/record_db/pending_delivery.h"

#include <chrono>
#include <span>
#include <system_error>

#include "app/record/run_record.h"
#include "app/record_db/delivery_state.h"
#include "app/record_db/spool_reading.h"
#include "platform/files.h"

namespace app {

namespace {

// Takes the lock beside the record file, waiting for another loader to finish its turn; false
// when stopped first or when the lock file cannot be made (`error` then says why).
bool TakeTurn(const platform::File& lock, const std::stop_token& stop, std::error_code& error) {
  if (!lock.isOpen()) return false;
  return platform::LockFile(lock, std::chrono::milliseconds(20), std::chrono::steady_clock::time_point::max(),
                            stop, error) == platform::LockOutcome::kTaken;
}

// Appends a refused record's line to the file of set-aside records, after a comment line with
// the time and the server's reason (the record file's reader passes comment lines over, so the
// file can be given back to it once the cause is mended). Returns why it failed; empty when it
// did not.
std::string SetAside(const std::string& path, const std::string& line, const std::string& reason) {
  std::string text =
      "# refused by the record database " + UtcTimeText(std::chrono::system_clock::now()) + ": ";
  for (const char c : reason) text += c == '\n' || c == '\r' ? ' ' : c;
  text += "\n" + line + "\n";
  std::error_code error;
  const platform::File out = platform::OpenForAppending(path, error);
  if (!out.isOpen()) return "cannot write " + path + ": " + error.message();
  if (error = platform::WriteAll(out, text); error) return "cannot write " + path + ": " + error.message();
  if (error = platform::FlushToDisk(out); error) return "cannot write " + path + ": " + error.message();
  return {};
}

// Sends the records of a batch the server refused one at a time: those it takes are delivered,
// those it refuses for their data are set aside with its reason, and any other refusal ends
// the pass. `done` (the batch's start) ends up after the last record dealt with.
DbOutcome DeliverOneByOne(RecordDatabase& database, const SpoolRead& batch, const std::string& recordFile,
                          const std::stop_token& stop, DeliveryReport& report, std::uint64_t& done) {
  for (std::size_t i = 0; i < batch.records.size(); ++i) {
    std::size_t inserted = 0;
    DbOutcome outcome = database.Insert(std::span(&batch.records[i], 1), stop, &inserted);
    if (outcome.fault == DbFault::DataRefused) {
      const std::string written = SetAside(RefusedPath(recordFile), batch.lines[i], outcome.message);
      if (!written.empty()) {
        report.fileError = written;
        return {};
      }
      ++report.refused;
      if (report.refusedReason.empty()) report.refusedReason = outcome.message;
    } else if (!outcome.ok()) {
      return outcome;
    } else {
      report.delivered += inserted;
      ++report.sent;
    }
    done = batch.ends[i];
  }
  done = batch.endOffset;
  return {};
}

}  // namespace

std::string RefusedPath(const std::string& recordFile) {
  return recordFile + ".refused";
}

std::size_t CountPending(const std::string& recordFile) {
  std::error_code error;
  const platform::File file = platform::OpenForReading(recordFile, error);
  if (!file.isOpen()) return 0;
  const platform::FileInfo info = platform::InfoOf(file, error);
  if (error) return 0;
  const std::uint64_t from = ResumeOffset(LoadDeliveryState(DeliveryStatePath(recordFile)), file, info);
  return ReadSpool(file, from, info.size, SIZE_MAX, false).count;
}

DeliveryReport DeliverPending(RecordDatabase& database, const std::string& recordFile,
                              const std::stop_token& stop) {
  DeliveryReport report;
  std::error_code error;
  const platform::File lock = platform::OpenOrMake(recordFile + ".lock", error);
  if (!TakeTurn(lock, stop, error)) {
    if (stop.stop_requested())
      report.outcome = {DbFault::Stopped, "stopped", {}};
    else
      report.fileError = "cannot lock " + recordFile + ".lock: " + error.message();
    report.remaining = CountPending(recordFile);
    return report;
  }
  const platform::File file = platform::OpenForReading(recordFile, error);
  if (!file.isOpen()) {
    if (error != std::errc::no_such_file_or_directory)
      report.fileError = "cannot read " + recordFile + ": " + error.message();
    return report;
  }
  const platform::FileInfo info = platform::InfoOf(file, error);
  if (error) {
    report.fileError = "cannot read " + recordFile + ": " + error.message();
    return report;
  }
  const std::string statePath = DeliveryStatePath(recordFile);
  const std::uint64_t size = info.size;
  std::uint64_t offset = ResumeOffset(LoadDeliveryState(statePath), file, info);
  while (offset < size) {
    SpoolRead batch = ReadSpool(file, offset, size, kRecordsPerTransaction, true);
    if (!batch.error.empty()) {
      report.fileError = "cannot read " + recordFile + ": " + batch.error;
      break;
    }
    if (batch.endOffset == offset) break;  // only a line still being written is left
    std::size_t inserted = 0;
    report.outcome = database.Insert(batch.records, stop, &inserted);
    std::uint64_t done = offset;  // the records before it are dealt with
    if (report.outcome.fault == DbFault::DataRefused) {
      report.outcome = DeliverOneByOne(database, batch, recordFile, stop, report, done);
    } else if (report.outcome.ok()) {
      report.delivered += inserted;
      report.sent += batch.count;
      done = batch.endOffset;
    }
    if (done > offset) {
      offset = done;
      const std::string saved = SaveDeliveryState(statePath, StateAt(file, info, offset));
      if (!saved.empty()) {
        report.fileError = saved;
        break;
      }
    }
    if (!report.outcome.ok() || !report.fileError.empty()) break;
  }
  report.plainTextNote = database.plainTextNote();
  report.remaining = ReadSpool(file, offset, size, SIZE_MAX, false).count;
  return report;
}

}  // namespace app
