// vorloader: the loader's window. Reads its command line (refusing a bad one before any
// window), prepares the firmware folder, shows the main window until it closes, and ends.
// It stores no settings.

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/firmware_set.h"
#include "app/options.h"
#include "app/port_listing.h"
#include "device/steps.h"
#include "device/wire_trace.h"
#include "platform/serial_port.h"
#include "window/close_on_signals.h"
#include "window/command_line.h"
#include "window/loader_workflows.h"
#include "window/main_dialog.h"
#include "window/program_start.h"
#include "window/record_keeping_start.h"
#include "window/shown_text.h"
#include "window/station/station_runner.h"
#include "window/station/station_set_up.h"
#include "window/station/station_window.h"
#include "window/window_resources.h"

namespace {

// Collects what the port listing logs before the station window exists to show it.
class CollectingView final : public LoaderView {
 public:
  std::vector<std::pair<std::string, bool>> lines;  // text, is a detail

  void setPortStatus(const std::string& /*text*/) override {}
  void setDeviceStatus(const std::string& /*text*/) override {}
  void setMainStatus(const std::string& /*text*/) override {}
  void appendLog(const std::string& line) override { lines.emplace_back(line, false); }
  void detail(const std::string& text) override { lines.emplace_back(text, true); }
  void enableConnect(bool /*on*/) override {}
  void enableRawBoot(bool /*on*/) override {}
  void enableCheckForUpdates(bool /*on*/) override {}
  bool askYesNo(const std::string& /*text*/) override { return false; }
  void tell(const std::string& /*text*/) override {}
};

// Notes of the record database's worker, from its thread, as detail lines of the station's log.
class StationNotes final : public LoaderView {
 public:
  explicit StationNotes(window::StationWindow& station) : m_station(station) {}
  void setPortStatus(const std::string& /*text*/) override {}
  void setDeviceStatus(const std::string& /*text*/) override {}
  void setMainStatus(const std::string& /*text*/) override {}
  void appendLog(const std::string& line) override { Post(line, false); }
  void detail(const std::string& text) override { Post(text, true); }
  void enableConnect(bool /*on*/) override {}
  void enableRawBoot(bool /*on*/) override {}
  void enableCheckForUpdates(bool /*on*/) override {}
  bool askYesNo(const std::string& /*text*/) override { return false; }
  void tell(const std::string& /*text*/) override {}

 private:
  void Post(const std::string& text, bool isDetail) {
    QMetaObject::invokeMethod(
        &m_station,
        [station = &m_station, shown = window::ShownLine(text), isDetail] {
          station->AddLogLine(-1, shown, isDetail);
        },
        Qt::QueuedConnection);
  }
  window::StationWindow& m_station;
};

// The station window on every listed port (or the profile's), with the plug-and-program station
// behind its buttons.
int RunStation(const window::WindowCommandLine& line, const app::FirmwareFolder& folder) {
  const auto opener = platform::MakeSystemPortOpener();
  CollectingView listing;
  const PortList ports = app::ListPorts(*opener, listing);
  const window::StationStart start =
      window::PlanStationStart(line, ports, *opener, app::ProcessEnvironment());
  window::StationWindow station(start.ports, window::DecodedOptions(start.optionBits), start.setUp);
  for (const auto& [text, detail] : listing.lines) station.AddLogLine(-1, window::ShownLine(text), detail);
  for (const std::string& note : start.notes) station.AddLogLine(-1, window::ShownLine(note), false);
  // Run records go on to the record database, if one is named, while the station is open: the
  // profile's record file and database, else the ones the rules choose, as the terminal station's.
  StationNotes notes(station);
  const auto records =
      window::StartRecordKeeping(notes, window::StationEnvironment(start, app::ProcessEnvironment()));
  // Goes before the window: its ports report to the window's views.
  window::StationRunner runner(station, folder, *opener, records->sink());
  runner.SetSiteControl(start.site);
  station.SetControl(&runner);
  const window::CloseOnSignals closeSignals([&station] { station.CloseOnRequest(); });
  station.exec();
  runner.Shutdown();
  return closeSignals.ExitStatus(0);
}

class CVORLoaderXApp {
 public:
  // `options`: the option bits, decoded once for the whole program.
  static int InitInstance(const window::WindowCommandLine& line) {
    const app::Options options = window::DecodedOptions(line.options);
    // The settings key the program is known by; nothing is ever written under it. The
    // application name stays the executable's name: it captions every message box.
    QCoreApplication::setOrganizationName(QStringLiteral("VORnetLoader"));
    if (!window::ResourceError().empty()) {
      std::fprintf(stderr, "vorloader: %s\n", window::ResourceError().c_str());
      return 1;
    }

    const app::FirmwareFolder folder = app::OpenFirmwareFolder();
    if (line.station) return RunStation(line, folder);

    bool openStation = false;
    int status = 0;
    {
      CVORLoaderXDlg dlg;
      dlg.SetOptions(options);
      const auto opener = platform::MakeSystemPortOpener();
      app::FirmwareSet firmware(options, folder);
      // Run records go on to the record database, if one is named, while the window is open.
      const auto records = window::StartRecordKeeping(dlg.view());
      app::DeviceSession session(firmware, dlg.view(), *opener);
      session.SetRecordSink(records->sink());
      session.SetWireTrace(device::WireTraceFromEnvironment());  // VORLOADER_TRACE, read once
      // Who runs it, for the records: VORLOADER_OPERATOR, read once.
      auto site = std::make_shared<app::SiteControl>();
      site->operatorName = app::ProcessEnvironment()("VORLOADER_OPERATOR").value_or("");
      session.SetSiteControl(site);
      window::LoaderWorkflows workflows(firmware, session, *opener, dlg.view());
      dlg.SetWorkflows(&workflows);
      // The context menu's station command closes the main window (asking first during a
      // transfer) and opens the station window in its place.
      dlg.SetStationOpener([&dlg, &openStation] {
        openStation = true;
        if (!dlg.close()) openStation = false;
      });
      const window::CloseOnSignals closeSignals([&dlg] { dlg.CloseOnRequest(); });

      dlg.exec();
      // The loader goes before the window: its thread must be gone first.
      dlg.ShutDownWorkflows();
      status = closeSignals.ExitStatus(0);
      if (closeSignals.firstSignal() != 0) openStation = false;
    }
    return openStation ? RunStation(line, folder) : status;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Read before the toolkit removes the options it knows.
  const window::WindowParse parsed =
      window::ParseWindowCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (const auto status = window::EarlyExit(parsed, argc, argv, stdout, stderr)) return *status;
  QApplication application(argc, argv);
  return CVORLoaderXApp::InitInstance(parsed.line);
}
