#pragma once
// What the station window's buttons ask of the station behind it. Called on the window's
// thread; each call returns at once (the station runs on its own threads and reports through
// the window's StationPortViews).

#include <string>

#include "app/line_core.h"

namespace window {

class StationControl {
 public:
  virtual ~StationControl() = default;
  // Arm every port until Stop: program each device that answers, with these option bits; the
  // run records name `operatorName` (empty: nobody named).
  virtual void Start(int optionBits, const std::string& operatorName) = 0;
  // Stop at `level`, which the window takes from its Stop presses (StopLevelFor): the first
  // arms nothing new and lets the devices being programmed finish, a second cuts them.
  virtual void Stop(app::StopLevel level) = 0;
  // Refresh the shared firmware set between devices (only called while no device is being
  // programmed); before any Start, a firmware set with these option bits. Its end is reported
  // through the shared view (refreshDone).
  virtual void CheckForUpdates(int optionBits) = 0;
};

}  // namespace window
