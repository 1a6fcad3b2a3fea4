#pragma once
// What the station's production line reports about one port (or, with no port, about the
// preparation all ports share), carried over to the station window's thread. It is a
// LoaderView, so the device steps report to it as to any front end, plus the few calls only a
// station makes: a device answered, a device run ended, the port went or came back.
//
// A station asks no question per device: what may be programmed is chosen before Start and
// turned into the option bits the steps read, so every box is answered Yes (as the terminal's
// --yes does) and its text goes to the log. Stream progress is coalesced: only the latest
// value travels, with at most one update on its way.

#include <mutex>
#include <string>

#include "common/loader_view.h"

namespace window {

class StationWindow;

class StationPortView final : public LoaderView {
 public:
  // `panel`: the index of the port's panel, -1 for the shared preparation. The window owns
  // its views; calls still queued when it goes are dropped with it.
  StationPortView(StationWindow& window, int panel);

  // LoaderView: callable from any thread.
  void setPortStatus(const std::string& text) override;
  void setDeviceStatus(const std::string& text) override;
  void setMainStatus(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  void enableConnect(bool /*on*/) override {}
  void enableRawBoot(bool /*on*/) override {}
  void enableCheckForUpdates(bool /*on*/) override {}
  bool askYesNo(const std::string& text) override;
  void tell(const std::string& text) override;
  void showPorts(const std::vector<PortEntry>& /*ports*/, int /*selected*/) override {}
  void progress(const StreamProgress& p) override;
  void transferActive(bool active) override;

  // The station's own reports, callable from any thread.
  void deviceFound(const std::string& name, const std::string& id, const std::string& versionNow,
                   const std::string& versionToLoad);
  void deviceDone(int code, const std::string& versionAfter);
  void deviceLeft();
  void portGone();
  // The whole line has stopped (only meaningful on the shared view).
  void stationStopped();

 private:
  template <typename Call>
  void Post(Call call);

  StationWindow& m_window;
  const int m_panel;
  std::mutex m_mutex;  // guards the two below
  StreamProgress m_progress;
  bool m_progressPosted = false;
};

}  // namespace window
