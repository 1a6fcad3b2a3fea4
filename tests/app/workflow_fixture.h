#pragma once
// A loader over scripted ports, a firmware folder with a catalogue and firmware files, and a
// recording view. Offline by default, so nothing reaches for the network.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/port_listing.h"
#include "app/record/record_sink.h"
#include "app/startup.h"
#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/recording_view.h"
#include "tests/support/scripted/scripted_device.h"
#include "tests/support/scripted/scripted_port.h"

namespace app_tests {

// A catalogue naming one product "VN_Amp" (code 0a1b) at `version` in file `hexFile`.
inline std::string Catalogue(const std::string& version, const std::string& hexFile = "amp.hex",
                             const std::string& firmUrl = "http://127.0.0.1:9/fw") {
  return "<?xml version=\"1.0\"?>\r\n<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>http://127.0.0.1:9"
         "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n<VORNET_FIRM_VERSIONS>\r\n"
         "<VORNET_PRODUCT_CODES>VN_Amp=0a1b</VORNET_PRODUCT_CODES>\r\n<VORNET_FIRM_URL>" +
         firmUrl + "</VORNET_FIRM_URL>\r\n<VOR_VN_Amp_V>" + version + "</VOR_VN_Amp_V>\r\n<VOR_VN_Amp_HEX>" +
         hexFile + "</VOR_VN_Amp_HEX>\r\n</VORNET_FIRM_VERSIONS>\r\n";
}

// A record sink that keeps the records it is given and what the view had shown when it was
// checked.
struct RecordingSink : app::RecordSink {
  const testing_support::RecordingView* view = nullptr;
  std::vector<std::vector<std::string>> callsAtCheck;
  std::vector<app::RunRecord> records;
  std::string Check() override {
    if (view != nullptr) callsAtCheck.push_back(view->calls);
    return {};
  }
  std::string Write(const app::RunRecord& record) override {
    records.push_back(record);
    return {};
  }
};

// The loader as the window wires it: one firmware set, one session, the window's sequences.
class TestLoader {
 public:
  TestLoader(app::Options options, const std::string& folder, const std::string& folderProblem,
             LoaderView& view, platform::PortOpener& opener)
      : m_view(view),
        m_opener(opener),
        m_firmware(options, folder, folderProblem),
        m_session(m_firmware, view, opener) {}

  // The start-up sequence; without `thenConnect` it ends after the file check.
  void RunStartupSequence(bool thenConnect = true) {
    if (thenConnect) return app::RunStartupSequence(m_firmware, m_session, m_opener, m_view);
    m_session.SetPorts(app::ListPorts(m_opener, m_view));
    m_firmware.RunCatalogueSteps(m_view, m_session.stopToken());
  }
  void OnConnect() { m_session.OnConnect(); }
  void OnRawBoot() { m_session.OnRawBoot(); }
  void CheckForUpdates() { app::CheckForUpdates(m_firmware, m_session, m_view); }
  void SelectPort(int index) { m_session.SelectPort(index); }
  const device::PortList& ports() const { return m_session.ports(); }
  const catalogue::ProductTable& products() const { return *m_firmware.products(); }
  std::optional<LoadResult> lastResult() const { return m_session.lastResult(); }
  device::Link& link() { return m_session.link(); }
  app::DeviceSession& session() { return m_session; }

 private:
  LoaderView& m_view;
  platform::PortOpener& m_opener;
  app::FirmwareSet m_firmware;
  app::DeviceSession m_session;
};

class WorkflowTest : public ::testing::Test {
 protected:
  static constexpr int kOffline = 1;

  testing_support::TempDir folder{"vor-app"};
  testing_support::ScriptedOpener opener;
  testing_support::ScriptedDevice dev;
  testing_support::RecordingView view;
  std::unique_ptr<TestLoader> loader;

  // The catalogue and a matching encrypted firmware file at `version`.
  void Firmware(const std::string& version) {
    catalogue_fixtures::WriteFile(folder.Path("vornet_verinfo.xml"), Catalogue(version));
    catalogue_fixtures::WriteFile(folder.Path("amp.hex"),
                                  catalogue_fixtures::EncryptedFirmware("VOR_T0a1b_V" + version));
  }

  // The device on scripted port `port`, running `version` now and `after` once programmed.
  void Device(const std::string& version, const std::string& after, int port = 1) {
    dev.script().label = "VN-Amp V" + version;
    dev.script().labelAfterImage = "VN-Amp V" + after;
    dev.Attach(opener.Line(port));
  }

  TestLoader& Make(int options = kOffline, const std::string& folderProblem = {}) {
    const app::Options o(options);
    loader = std::make_unique<TestLoader>(o, folder.Path(""), folderProblem, view, opener);
    loader->link().m_sleep = [](int) {};  // the reboot polls need not wait a second each
    return *loader;
  }
};

}  // namespace app_tests
