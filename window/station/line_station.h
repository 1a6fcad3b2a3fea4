#pragma once
// The station window's buttons on the production line: Start prepares the firmware set with
// the option bits chosen (the start-up preparation, once) and runs one session per panel's
// port on the line, each reporting to its panel's view; Stop first lets the devices being
// programmed finish, a second Stop cuts them; Check for Updates refreshes the catalogue while
// the line is idle. Each Start is one pass over the ports; the line reports the end through
// the shared view.
//
// How it is guarded: m_mutex guards the running line's address, the stop count and the
// worker; the line itself is called only through its thread-safe RequestStop.

#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "catalogue/firmware_folder.h"
#include "common/loader_view.h"
#include "device/serial_port.h"
#include "window/station/station_control.h"

namespace app {
class ProductionLine;
}

namespace window {

class StationWindow;

class LineStation final : public StationControl {
 public:
  // Takes the panels' ports from `window` (on its thread). `opener` must outlive this.
  LineStation(StationWindow& window, catalogue::FolderResult folder, device::PortOpener& opener);
  // Cuts whatever still runs and waits for it.
  ~LineStation() override;
  LineStation(const LineStation&) = delete;
  LineStation& operator=(const LineStation&) = delete;

  void Start(int optionBits) override;
  void Stop() override;
  void CheckForUpdates() override;
  // Cuts everything now and waits for the worker (the window is closing).
  void Shutdown();

 private:
  void Run(int optionBits, const std::stop_token& stop);
  void Refresh(const std::stop_token& stop);
  void Join();

  StationWindow& m_window;
  const catalogue::FolderResult m_folder;
  device::PortOpener& m_opener;
  std::vector<PortEntry> m_ports;
  std::mutex m_mutex;
  app::ProductionLine* m_line = nullptr;  // while a pass runs
  int m_stops = 0;                        // Stop presses during this pass
  std::jthread m_worker;
};

}  // namespace window
