#include "window/station/line_station.h"

#include "app/firmware_set.h"
#include "app/production_line.h"
#include "app/startup.h"
#include "window/command_line.h"
#include "window/station/station_port_view.h"
#include "window/station/station_window.h"

namespace window {

LineStation::LineStation(StationWindow& window, catalogue::FolderResult folder, device::PortOpener& opener)
    : m_window(window), m_folder(std::move(folder)), m_opener(opener) {
  for (int i = 0; i < window.panelCount(); ++i) m_ports.push_back(window.panel(i).port());
}

LineStation::~LineStation() {
  Shutdown();
}

void LineStation::Join() {
  std::jthread worker;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    worker = std::move(m_worker);
  }
  if (worker.joinable()) worker.join();
}

void LineStation::Start(int optionBits) {
  Join();  // a pass that has ended
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stops = 0;
  m_worker = std::jthread([this, optionBits](const std::stop_token& stop) { Run(optionBits, stop); });
}

void LineStation::Stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_stops;
  if (m_line != nullptr) m_line->RequestStop(m_stops > 1 ? app::StopLevel::All : app::StopLevel::Idle);
  // During the preparation, nothing is being programmed: it ends at once.
  if (m_line == nullptr) m_worker.request_stop();
}

void LineStation::CheckForUpdates() {
  Join();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_worker = std::jthread([this](const std::stop_token& stop) { Refresh(stop); });
}

void LineStation::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stops = 2;
    if (m_line != nullptr) m_line->RequestStop(app::StopLevel::All);
    m_worker.request_stop();
  }
  Join();
}

void LineStation::Refresh(const std::stop_token& stop) {
  app::FirmwareSet firmware(DecodedOptions(0), m_folder);
  firmware.RunCatalogueSteps(m_window.sharedView(), stop);
}

void LineStation::Run(int optionBits, const std::stop_token& stop) {
  app::FirmwareSet firmware(DecodedOptions(optionBits), m_folder);
  const app::Preparation preparation = app::PrepareStartup(firmware, m_opener, m_window.sharedView(), stop);
  if (preparation.ready()) {
    app::ProductionLine line(firmware, m_opener);
    std::vector<app::LinePort*> ports;
    for (std::size_t i = 0; i < m_ports.size(); ++i)
      ports.push_back(&line.AddPort(m_ports[i], m_window.portView(static_cast<int>(i))));
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_line = &line;
      if (m_stops > 0) line.RequestStop(m_stops > 1 ? app::StopLevel::All : app::StopLevel::Idle);
    }
    line.Run();
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_line = nullptr;
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
      const std::vector<app::LineOutcome> outcomes = ports[i]->outcomes();
      if (outcomes.empty()) continue;
      const app::LineOutcome& last = outcomes.back();
      m_window.portView(static_cast<int>(i)).deviceDone(last.stopped ? RESULT_STOPPED : last.code, {});
    }
  }
  m_window.sharedView().stationStopped();
}

}  // namespace window
