#include "window/station/station_runner.h"

#include <string>

#include "app/firmware_set.h"
#include "app/line_core.h"
#include "app/startup.h"
#include "app/station/station.h"
#include "device/wire_trace.h"
#include "window/command_line.h"
#include "window/station/station_port_view.h"
#include "window/station/station_window.h"

namespace window {

StationRunner::StationRunner(StationWindow& window, app::FirmwareFolder folder, platform::PortOpener& opener,
                             std::shared_ptr<app::RecordSink> records)
    : m_window(window), m_folder(std::move(folder)), m_opener(opener), m_records(std::move(records)) {
  for (int i = 0; i < window.panelCount(); ++i) m_ports.push_back(window.panel(i).port());
}

StationRunner::~StationRunner() {
  Shutdown();
}

int StationRunner::PanelOf(int number) const {
  for (std::size_t i = 0; i < m_ports.size(); ++i)
    if (m_ports[i].number == number) return static_cast<int>(i);
  return -1;
}

void StationRunner::Join() {
  std::jthread worker;
  std::jthread refresher;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    worker = std::move(m_worker);
    refresher = std::move(m_refresher);
  }
  if (worker.joinable()) worker.join();
  if (refresher.joinable()) refresher.join();
}

void StationRunner::Start(int optionBits, const std::string& operatorName) {
  Join();  // a station that has ended, a refresh that has ended
  std::lock_guard<std::mutex> lock(m_mutex);
  m_station.reset();  // before the firmware set it reads
  m_firmware = std::make_unique<app::FirmwareSet>(DecodedOptions(optionBits), m_folder);
  auto site = std::make_shared<app::SiteControl>(m_siteBase);
  site->operatorName = operatorName;
  m_site = std::move(site);
  m_stopAsked = false;
  m_worker = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

void StationRunner::Stop(app::StopLevel level) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stopAsked = true;
  if (m_station != nullptr)
    m_station->RequestStop(level);
  else
    m_worker.request_stop();  // during the preparation nothing is being programmed: it ends at once
}

void StationRunner::CheckForUpdates(int optionBits) {
  std::jthread ended;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ended = std::move(m_refresher);
  }
  if (ended.joinable()) ended.join();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_refresher = std::jthread([this, optionBits](const std::stop_token& stop) { Refresh(optionBits, stop); });
}

void StationRunner::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopAsked = true;
    if (m_station != nullptr) m_station->RequestStop(app::StopLevel::All);
    m_worker.request_stop();
    m_refresher.request_stop();
  }
  Join();
}

void StationRunner::Refresh(int optionBits, const std::stop_token& stop) {
  StationPortView& shared = m_window.sharedView();
  {
    const std::lock_guard<std::mutex> catalogue(m_catalogue);
    app::FirmwareSet* firmware = nullptr;
    app::Station* station = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      firmware = m_firmware.get();
      station = m_station.get();
    }
    // Before any Start there is no shared set yet: the folder is refreshed for the next one.
    std::unique_ptr<app::FirmwareSet> own;
    if (firmware == nullptr) {
      own = std::make_unique<app::FirmwareSet>(DecodedOptions(optionBits), m_folder);
      firmware = own.get();
    }
    // Between devices: no port begins a device run until the refresh is over.
    if (station != nullptr) station->Hold();
    firmware->RunCatalogueSteps(shared, stop);
    if (station != nullptr) station->Resume();
  }
  shared.refreshDone();
}

void StationRunner::Run(const std::stop_token& stop) {
  StationPortView& shared = m_window.sharedView();
  app::FirmwareSet* firmware = nullptr;
  std::shared_ptr<const app::SiteControl> site;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    firmware = m_firmware.get();
    site = m_site;
  }
  app::Station* station = nullptr;
  {
    const std::lock_guard<std::mutex> catalogue(m_catalogue);
    const app::Preparation preparation = app::PrepareStartup(*firmware, m_opener, shared, stop);
    if (preparation.ready() && !stop.stop_requested()) {
      auto made = std::make_unique<app::Station>(*firmware, m_opener);
      made->SetRecordSink(m_records);
      made->SetSiteControl(site);
      made->SetWireTrace(device::WireTraceFromEnvironment());
      made->SetObserver([this](const app::StationPortStatus& status) {
        if (const int panel = PanelOf(status.port.number); panel >= 0)
          m_window.portView(panel).status(status);
      });
      made->SetOnProgramming([&shared](bool any) { shared.programming(any); });
      // Each device run's result at a glance, as the terminal station prints it.
      made->SetOnOutcome([this](const app::StationOutcome& outcome) {
        if (const int panel = PanelOf(outcome.run.port.number); panel >= 0)
          m_window.portView(panel).appendLog(app::StationResultLine(outcome));
      });
      for (std::size_t i = 0; i < m_ports.size(); ++i)
        made->AddPort(m_ports[i], m_window.portView(static_cast<int>(i)));
      std::lock_guard<std::mutex> lock(m_mutex);
      m_station = std::move(made);
      station = m_station.get();
      // A Stop during the preparation leaves the station unarmed.
      if (!m_stopAsked) station->Start();
    }
  }
  if (station != nullptr) {
    station->Wait();
    const app::LineFinish finish = station->Finish(0);
    shared.appendLog(finish.summary);
    if (const std::string cut = app::CutSentence(finish.cut); !cut.empty()) shared.appendLog(cut);
  }
  shared.stationStopped();
}

}  // namespace window
