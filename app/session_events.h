#pragma once
// What a device session tells whoever runs it (a production line, a station) of what it does,
// beside what it shows a person through its view: when its device begins and ends being
// erased or programmed, which firmware it chose, and how each run ended. The view stays
// presentation only; nothing learns what a session does by watching it.
//
// The calls come from the session's own thread, as the workflow reaches each point.

#include <string>

#include "app/record/record_of_run.h"
#include "common/load_result.h"

namespace app {

// How a run ended, with what the session learnt on the way.
struct SessionRunEnd {
  LoadResult result = RESULT_OK;  // RESULT_STOPPED when a stop request ended it
  bool eraseWritten = false;      // the erase command went to the device: its old firmware may be gone
  std::string detail;             // why it ended so, when its result line says less; else empty
  DeviceFacts device;             // the device as it answered last (after programming, its new firmware)
};

class SessionEvents {
 public:
  virtual ~SessionEvents() = default;

  // The device is about to be erased; from now a stop may leave it needing a raw boot.
  virtual void programmingBegan() {}
  // The erase and image stream are over, however they ended.
  virtual void programmingEnded() {}
  // The product table's row `row` was chosen for the device, to bring it to `version`.
  virtual void firmwareChosen(int row, const std::string& version) {
    (void)row;
    (void)version;
  }
  // A Connect or a raw boot ended (its record written).
  virtual void runFinished(const SessionRunEnd& end) { (void)end; }
};

}  // namespace app
