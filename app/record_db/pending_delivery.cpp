#include "app/record_db/pending_delivery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "app/record/run_record.h"
#include "app/record_db/delivery_state.h"
#include "app/record_db/spool_reading.h"
#include "common/file_descriptor.h"

namespace app {

namespace {

// Takes the lock beside the record file, waiting for another loader to finish its turn; false
// when stopped first or when the lock file cannot be made.
bool TakeTurn(const FileDescriptor& lock, const std::stop_token& stop) {
  if (lock.get() < 0) return false;
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (stop.stop_requested()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
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
  const FileDescriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (out.get() < 0) return "cannot write " + path + ": " + std::strerror(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(out.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return "cannot write " + path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(out.get()) != 0) return "cannot write " + path + ": " + std::strerror(errno);
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
  const FileDescriptor file(::open(recordFile.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return 0;
  const std::uint64_t from = ResumeOffset(LoadDeliveryState(DeliveryStatePath(recordFile)), file.get(), info);
  return ReadSpool(file.get(), from, static_cast<std::uint64_t>(info.st_size), SIZE_MAX, false).count;
}

DeliveryReport DeliverPending(RecordDatabase& database, const std::string& recordFile,
                              const std::stop_token& stop) {
  DeliveryReport report;
  const FileDescriptor lock(::open((recordFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!TakeTurn(lock, stop)) {
    if (stop.stop_requested())
      report.outcome = {DbFault::Stopped, "stopped", {}};
    else
      report.fileError = "cannot lock " + recordFile + ".lock: " + std::strerror(errno);
    report.remaining = CountPending(recordFile);
    return report;
  }
  const FileDescriptor file(::open(recordFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno != ENOENT) report.fileError = "cannot read " + recordFile + ": " + std::strerror(errno);
    return report;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) {
    report.fileError = "cannot read " + recordFile + ": " + std::strerror(errno);
    return report;
  }
  const std::string statePath = DeliveryStatePath(recordFile);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  std::uint64_t offset = ResumeOffset(LoadDeliveryState(statePath), file.get(), info);
  while (offset < size) {
    SpoolRead batch = ReadSpool(file.get(), offset, size, kRecordsPerTransaction, true);
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
      const std::string saved = SaveDeliveryState(statePath, StateAt(file.get(), info, offset));
      if (!saved.empty()) {
        report.fileError = saved;
        break;
      }
    }
    if (!report.outcome.ok() || !report.fileError.empty()) break;
  }
  report.plainTextNote = database.plainTextNote();
  report.remaining = ReadSpool(file.get(), offset, size, SIZE_MAX, false).count;
  return report;
}

}  // namespace app
