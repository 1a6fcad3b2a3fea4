// Feeds arbitrary bytes as the delivery state beside a record file ("history.jsonl.delivered"):
// the bytes up to the first line end are the state file, the rest the record file it is read
// against. A state that loads is whole, and delivery never resumes anywhere but just after a
// line end inside the file.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "app/record_db/delivery_state.h"
#include "platform/files.h"

namespace {

// A file in memory holding `bytes`, or -1.
int MemoryFile(const char* name, const std::uint8_t* bytes, std::size_t size) {
  const int fd = ::memfd_create(name, MFD_CLOEXEC);
  if (fd < 0) return -1;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n <= 0) {
      ::close(fd);
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return fd;
}

bool IsLowerHex(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* lineEnd = std::find(data, data + size, std::uint8_t{'\n'});
  const std::size_t stateSize = lineEnd == data + size ? size : static_cast<std::size_t>(lineEnd - data) + 1;

  const int stateFd = MemoryFile("delivered", data, stateSize);
  const platform::File record(MemoryFile("history", data + stateSize, size - stateSize));
  if (stateFd < 0 || !record.isOpen()) __builtin_trap();
  std::optional<app::DeliveryState> state =
      app::LoadDeliveryState("/proc/self/fd/" + std::to_string(stateFd));
  ::close(stateFd);

  if (state) {
    const bool whole = state->lastLineSha256.size() == 64 && IsLowerHex(state->lastLineSha256);
    if (!whole && !(state->offset == 0 && state->lastLineSha256.empty())) __builtin_trap();
  }

  std::error_code error;
  const platform::FileInfo info = platform::InfoOf(record, error);
  if (error || !info.regular) __builtin_trap();
  const std::uint64_t fileSize = info.size;
  // The state as read, and the same state as if it were this file's own.
  for (int own = 0; own < 2 && state; ++own) {
    if (own == 1) {
      state->device = info.identity.device;
      state->inode = info.identity.file;
    }
    const std::uint64_t resume = app::ResumeOffset(state, record, info);
    if (resume > fileSize) __builtin_trap();
    if (resume > 0 && data[stateSize + resume - 1] != '\n') __builtin_trap();
  }
  if (app::ResumeOffset(std::nullopt, record, info) != 0) __builtin_trap();
  return 0;
}
