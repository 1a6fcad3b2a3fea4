#pragma once
// A loader over scripted ports, a firmware folder with a catalogue and firmware files, and a
// recording view. Offline by default, so nothing reaches for the network.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/loader.h"
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

class WorkflowTest : public ::testing::Test {
 protected:
  static constexpr int kOffline = 1;

  catalogue_fixtures::TempDir folder;
  testing_support::ScriptedOpener opener;
  testing_support::ScriptedDevice dev;
  testing_support::RecordingView view;
  std::unique_ptr<app::Loader> loader;

  // The catalogue and a matching encrypted firmware file at `version`.
  void Firmware(const std::string& version) {
    catalogue_fixtures::WriteFile(folder.path() + "vornet_verinfo.xml", Catalogue(version));
    catalogue_fixtures::WriteFile(folder.path() + "amp.hex",
                                  catalogue_fixtures::EncryptedFirmware("VOR_T0a1b_V" + version));
  }

  // The device on scripted port `port`, running `version` now and `after` once programmed.
  void Device(const std::string& version, const std::string& after, int port = 1) {
    dev.script().label = "VN-Amp V" + version;
    dev.script().labelAfterImage = "VN-Amp V" + after;
    dev.Attach(opener.Line(port));
  }

  app::Loader& Make(int options = kOffline, const std::string& folderProblem = {}) {
    app::Options o;
    o.m_nOptions = options;
    loader = std::make_unique<app::Loader>(view, opener, o, folder.path(), folderProblem);
    loader->link().m_sleep = [](int) {};  // the reboot polls need not wait a second each
    return *loader;
  }
};

}  // namespace app_tests
