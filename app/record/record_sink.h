#pragma once
// Where the record of a finished device run goes. A session checks its sink when a run
// begins, before any device is touched, and writes each record to it once, on the workflow's
// thread, after the result line: a sink keeps that write as short as a local file append, and
// does any slower delivery elsewhere. Several sessions may share one sink, so Check and Write
// may be called from several threads at once; each sink says how it is guarded.

#include <string>

#include "app/record/run_record.h"

namespace app {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Keeps `record`. Returns the note to show when it could not be kept ("run record not
  // written: ..."); empty when it was, or when this sink keeps nothing.
  virtual std::string Write(const RunRecord& record) = 0;
  // Makes ready what Write needs (the record file's folder, the file) and returns the note to
  // show at once when records cannot be kept ("run records cannot be written: ..."); empty
  // when they can. The run goes on either way.
  virtual std::string Check() { return {}; }
};

}  // namespace app
