// Feeds arbitrary bytes as the record file that delivery reads as its spool. The first byte
// chooses how many records a batch takes; the rest is the file. Read in batches, each from
// where the previous ended, the file gives the records it gives in one read; only complete
// lines are read, and every record has a run ID.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/record/run_record.h"
#include "app/record_db/spool_reading.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t batch = 1 + data[0] % 8;
  const std::uint8_t* file = data + 1;
  const std::uint64_t fileSize = size - 1;

  const platform::File fd(::memfd_create("history", MFD_CLOEXEC));
  if (!fd.isOpen()) __builtin_trap();
  for (std::size_t done = 0; done < fileSize;) {
    const ssize_t n = ::write(static_cast<int>(fd.native()), file + done, fileSize - done);
    if (n <= 0) __builtin_trap();
    done += static_cast<std::size_t>(n);
  }

  const app::SpoolRead whole = app::ReadSpool(fd, 0, fileSize, SIZE_MAX, true);
  if (!whole.error.empty() || whole.records.size() != whole.count) __builtin_trap();
  if (whole.endOffset > fileSize || (whole.endOffset > 0 && file[whole.endOffset - 1] != '\n'))
    __builtin_trap();
  for (const app::RunRecord& r : whole.records)
    if (r.runId.empty()) __builtin_trap();
  if (app::ReadSpool(fd, 0, fileSize, SIZE_MAX, false).count != whole.count) __builtin_trap();

  std::vector<app::RunRecord> batched;
  std::uint64_t from = 0;
  for (;;) {
    const app::SpoolRead part = app::ReadSpool(fd, from, fileSize, batch, true);
    if (!part.error.empty() || part.count > batch || part.records.size() != part.count) __builtin_trap();
    if (part.endOffset < from || part.endOffset > fileSize) __builtin_trap();
    batched.insert(batched.end(), part.records.begin(), part.records.end());
    if (part.count < batch || part.endOffset == from) break;
    from = part.endOffset;
  }
  if (batched != whole.records) __builtin_trap();
  return 0;
}
