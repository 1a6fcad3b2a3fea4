#pragma once
// What the station reports about one port (or, with no port, about the preparation and the
// station as a whole), carried over to the station window's thread. It is a LoaderView, so a
// port's device steps log to it as to any front end, plus the station's own reports: the
// port's status (state, device, versions, progress, counts), whether any device is being
// programmed, a device run's result line, and the end of the station or of a refresh.
//
// A station asks no question per device: what may be programmed is chosen before Start and
// turned into the option bits the steps read, so every box is answered Yes (as the terminal's
// --yes does) and its text goes to the log. The port's status is coalesced: only the latest
// travels, with at most one update on its way, so a stream's progress cannot flood the window.

#include <mutex>
#include <string>

#include "app/station/station.h"
#include "common/loader_view.h"

namespace window {

class StationWindow;

class StationPortView final : public LoaderView {
 public:
  // `panel`: the index of the port's panel, -1 for the shared part. The window owns its
  // views; calls still queued when it goes are dropped with it.
  StationPortView(StationWindow& window, int panel);

  // LoaderView: callable from any thread.
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void tell(const std::string& text) override;

  // The station's own reports, callable from any thread.
  void status(const app::StationPortStatus& status);
  // On the shared view: whether some device is being erased or programmed now.
  void programming(bool any);
  // The station has stopped; a refresh of the firmware set has ended (shared view).
  void stationStopped();
  void refreshDone();

 private:
  template <typename Call>
  void Post(Call call);

  StationWindow& m_window;
  const int m_panel;
  std::mutex m_mutex;  // guards the two below
  app::StationPortStatus m_status;
  bool m_statusPosted = false;
};

}  // namespace window
