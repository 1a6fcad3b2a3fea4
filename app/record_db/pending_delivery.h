#pragma once
// Delivers the records of the record file that are not yet in the record database, batch by
// batch, each batch one transaction followed by the delivery state. Loaders that share a
// record file take turns (a lock file beside it); the database is not asked at all when
// nothing is pending. One bad record never holds the rest: when the server refuses a batch for
// its data, its records go one at a time, and each one the server refuses is set aside in the
// file beside the record file ("history.jsonl.refused") with the server's reason.

#include <cstddef>
#include <stop_token>
#include <string>

#include "app/record_db/record_database.h"

namespace app {

struct DeliveryReport {
  std::size_t delivered = 0;  // records the database now has that it did not have
  std::size_t sent = 0;       // records sent (some may have been there already)
  std::size_t remaining = 0;  // records still pending
  std::size_t refused = 0;    // records the server refused for their data, now set aside
  std::string refusedReason;  // the server's reason for the first of them
  DbOutcome outcome;          // why delivery stopped early; ok when it did not
  std::string fileError;      // why the record file or its state could not be used
  std::string plainTextNote;  // the connection went over TCP without TLS (RecordDatabase)
};

inline constexpr std::size_t kRecordsPerTransaction = 500;

DeliveryReport DeliverPending(RecordDatabase& database, const std::string& recordFile,
                              const std::stop_token& stop);

// Where refused records of `recordFile` are set aside: "FILE.refused".
std::string RefusedPath(const std::string& recordFile);

// The number of records of the record file not yet delivered, as its state says.
std::size_t CountPending(const std::string& recordFile);

}  // namespace app
