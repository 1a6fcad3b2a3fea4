#pragma once
// Where the record of a finished device run goes. A session writes each record to its sink
// once, on the workflow's thread, after the result line: a sink keeps that write as short as
// a local file append, and does any slower delivery elsewhere. Several sessions may share one
// sink, so Write may be called from several threads at once.

#include <string>

#include "app/record/run_record.h"

namespace app {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Keeps `record`. Returns the note to show when it could not be kept ("run record not
  // written: ..."); empty when it was, or when this sink keeps nothing.
  virtual std::string Write(const RunRecord& record) = 0;
};

}  // namespace app
