#pragma once
// What the station window's buttons ask of the production line behind it. Called on the
// window's thread; each call returns at once (the line runs on its own threads and reports
// through the window's StationPortViews).

namespace window {

class StationControl {
 public:
  virtual ~StationControl() = default;
  // Arm every port: program each device that answers, with these option bits.
  virtual void Start(int optionBits) = 0;
  // Arm nothing new; devices being programmed finish. A second Stop cuts them.
  virtual void Stop() = 0;
  // Refresh the shared firmware set (only called while no device is being programmed).
  virtual void CheckForUpdates() = 0;
};

}  // namespace window
