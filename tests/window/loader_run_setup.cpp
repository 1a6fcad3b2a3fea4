#include "tests/window/loader_run_setup.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "catalogue/firmware_folder.h"
#include "tests/support/sim/sim_process.h"
#include "window/command_line.h"

namespace window_test {

std::string PrepareLoaderRun(const std::string& dir, std::size_t flashBytes) {
  const std::string programData = dir + "/programdata";
  // The named program data folder must exist: the loader makes only its VORnet folder in it.
  if (::mkdir(programData.c_str(), 0755) != 0) return {};
  ::setenv("VORLOADER_PROGRAMDATA", programData.c_str(), 1);
  ::setenv("VORLOADER_COM_DIR", dir.c_str(), 1);
  const catalogue::FolderResult folder = catalogue::InitFirmwareFolder();
  if (!folder.ok) return {};
  std::ofstream catalogue(folder.path + "vornet_verinfo.xml", std::ios::binary);
  catalogue << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
               "<VORNET>\n"
               "<VORNET_FIRM_VERSIONS>\n"
               "  <VORNET_PRODUCT_CODES>VORnet_Amp=0a1b</VORNET_PRODUCT_CODES>\n"
               "  <VORNET_FIRM_URL>http://127.0.0.1:9/firmware</VORNET_FIRM_URL>\n"
               "  <VOR_VORnet_Amp_V>1.80</VOR_VORnet_Amp_V>\n"
               "  <VOR_VORnet_Amp_HEX>vornet_amp_v180.hex</VOR_VORnet_Amp_HEX>\n"
               "</VORNET_FIRM_VERSIONS>\n"
               "</VORNET>\n";
  catalogue.close();
  if (!catalogue ||
      !testing_support::PackFirmware(folder.path + "vornet_amp_v180.hex", "0a1b", "1.80", true, flashBytes))
    return {};
  return folder.path;
}

LoaderBehindWindow::LoaderBehindWindow(CVORLoaderXDlg& dlg, int options, const std::string& firmFolder)
    : opener(platform::MakeSystemPortOpener()),
      firmware(window::DecodedOptions(options), firmFolder),
      session(firmware, dlg.view(), *opener),
      workflows(firmware, session, *opener, dlg.view()),
      window(dlg) {
  dlg.SetOptions(window::DecodedOptions(options));
  dlg.SetWorkflows(&workflows);
}

// The window's thread runs the loader: it goes before the loader does.
LoaderBehindWindow::~LoaderBehindWindow() {
  window.ShutDownWorkflows();
}

}  // namespace window_test
