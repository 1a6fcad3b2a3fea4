#pragma once
// The station window's buttons on the plug-and-program station (app::Station). Start runs the
// start-up preparation once with the option bits chosen, then arms every panel's port: each
// loops unattended (wait for a device, program it, wait for it to leave) until Stop, writing
// the run records as the terminal station does and reporting to its panel's view. The first
// Stop arms nothing new and lets the devices being programmed finish; a second cuts them, and
// the log names the ports that may need a raw boot. Check for Updates refreshes the shared
// firmware set between devices: the station is held (no port begins a device run, and the
// runs under way end first) for as long as the refresh runs.
//
// How it is guarded:
//   - m_mutex guards the firmware set's and the station's addresses, whether a stop was asked
//     for and the two workers. The firmware set and the station are made and dropped only on the window's
//     thread, in Start, after both workers have ended; so a worker's pointer to them stays good.
//   - m_catalogue is held by the start-up preparation and by a refresh: the two never change
//     the firmware folder at once. It is taken before m_mutex, never after.
//   - The station itself is called only through its thread-safe members.

#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/firmware_set.h"
#include "app/record/record_sink.h"
#include "app/site_control.h"
#include "common/loader_view.h"
#include "platform/serial_port.h"
#include "window/station/station_control.h"

namespace app {
class FirmwareSet;
class Station;
}  // namespace app

namespace window {

class StationWindow;

class StationRunner final : public StationControl {
 public:
  // Takes the panels' ports from `window` (on its thread). `opener` must outlive this. Every
  // device run leaves its record in `records` (null: the record file the rules choose).
  StationRunner(StationWindow& window, app::FirmwareFolder folder, platform::PortOpener& opener,
                std::shared_ptr<app::RecordSink> records = nullptr);
  // Cuts whatever still runs and waits for it.
  ~StationRunner() override;
  StationRunner(const StationRunner&) = delete;
  StationRunner& operator=(const StationRunner&) = delete;

  // Before the first Start: what every run is under (profile, approved images, work order; the
  // operator comes with each Start).
  void SetSiteControl(app::SiteControl site) { m_siteBase = std::move(site); }

  void Start(int optionBits, const std::string& operatorName) override;
  void Stop(app::StopLevel level) override;
  void CheckForUpdates(int optionBits) override;
  // Cuts everything now and waits for the workers (the window is closing).
  void Shutdown();

 private:
  void Run(const std::stop_token& stop);
  void Refresh(int optionBits, const std::stop_token& stop);
  void Join();
  // The panel of the port numbered `number`; -1 when none.
  int PanelOf(int number) const;

  StationWindow& m_window;
  const app::FirmwareFolder m_folder;
  platform::PortOpener& m_opener;
  const std::shared_ptr<app::RecordSink> m_records;
  std::vector<PortEntry> m_ports;  // the panels' ports, in panel order
  app::SiteControl m_siteBase;
  std::mutex m_catalogue;
  std::mutex m_mutex;
  std::unique_ptr<app::FirmwareSet> m_firmware;    // of the last Start
  std::unique_ptr<app::Station> m_station;         // of the last Start, once prepared
  std::shared_ptr<const app::SiteControl> m_site;  // of the last Start
  bool m_stopAsked = false;                        // a Stop since the last Start
  std::jthread m_worker;                           // the preparation, then the station's run
  std::jthread m_refresher;                        // a Check for Updates
};

}  // namespace window
