#include "app/record_db/pending_delivery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "app/record_db/delivery_state.h"
#include "app/record_db/spool_reading.h"

namespace app {

namespace {

// An open file descriptor, closed at scope end.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// Takes the lock beside the record file, waiting for another loader to finish its turn; false
// when stopped first or when the lock file cannot be made.
bool TakeTurn(const Fd& lock, const std::stop_token& stop) {
  if (lock.fd < 0) return false;
  while (::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (stop.stop_requested()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

std::size_t CountPending(const std::string& recordFile) {
  const Fd file(::open(recordFile.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.fd < 0 || ::fstat(file.fd, &info) != 0) return 0;
  const std::uint64_t from = ResumeOffset(LoadDeliveryState(DeliveryStatePath(recordFile)), file.fd, info);
  return ReadSpool(file.fd, from, static_cast<std::uint64_t>(info.st_size), SIZE_MAX, false).count;
}

DeliveryReport DeliverPending(RecordDatabase& database, const std::string& recordFile,
                              const std::stop_token& stop) {
  DeliveryReport report;
  const Fd lock(::open((recordFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!TakeTurn(lock, stop)) {
    if (stop.stop_requested())
      report.outcome = {DbFault::Stopped, "stopped"};
    else
      report.fileError = "cannot lock " + recordFile + ".lock: " + std::strerror(errno);
    report.remaining = CountPending(recordFile);
    return report;
  }
  const Fd file(::open(recordFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno != ENOENT) report.fileError = "cannot read " + recordFile + ": " + std::strerror(errno);
    return report;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) {
    report.fileError = "cannot read " + recordFile + ": " + std::strerror(errno);
    return report;
  }
  const std::string statePath = DeliveryStatePath(recordFile);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  std::uint64_t offset = ResumeOffset(LoadDeliveryState(statePath), file.fd, info);
  while (offset < size) {
    SpoolRead batch = ReadSpool(file.fd, offset, size, kRecordsPerTransaction, true);
    if (!batch.error.empty()) {
      report.fileError = "cannot read " + recordFile + ": " + batch.error;
      break;
    }
    if (batch.endOffset == offset) break;  // only a line still being written is left
    std::size_t inserted = 0;
    report.outcome = database.Insert(batch.records, stop, &inserted);
    if (!report.outcome.ok()) break;
    report.delivered += inserted;
    report.sent += batch.count;
    offset = batch.endOffset;
    const std::string saved = SaveDeliveryState(statePath, StateAt(file.fd, info, offset));
    if (!saved.empty()) {
      report.fileError = saved;
      break;
    }
  }
  report.remaining = ReadSpool(file.fd, offset, size, SIZE_MAX, false).count;
  return report;
}

}  // namespace app
