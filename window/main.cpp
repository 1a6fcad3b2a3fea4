// vorloader: the loader's window. Reads its command line (refusing a bad one before any
// window), prepares the firmware folder, shows the main window until it closes, and ends.
// It stores no settings.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/options.h"
#include "catalogue/firmware_folder.h"
#include "device/serial_port.h"
#include "window/close_on_signals.h"
#include "window/command_line.h"
#include "window/loader_workflows.h"
#include "window/main_dialog.h"
#include "window/program_start.h"
#include "window/window_resources.h"

namespace {

class CVORLoaderXApp {
 public:
  // `options`: the option bits, decoded once for the whole program.
  static int InitInstance(const app::Options& options) {
    // The settings key the program is known by; nothing is ever written under it. The
    // application name stays the executable's name: it captions every message box.
    QCoreApplication::setOrganizationName(QStringLiteral("VORnetLoader"));
    if (!window::ResourceError().empty()) {
      std::fprintf(stderr, "vorloader: %s\n", window::ResourceError().c_str());
      return 1;
    }

    const catalogue::FolderResult folder = app::OpenFirmwareFolder();

    CVORLoaderXDlg dlg;
    dlg.SetOptions(options);
    const auto opener = device::MakeSystemPortOpener();
    app::FirmwareSet firmware(options, folder);
    app::DeviceSession session(firmware, dlg.view(), *opener);
    window::LoaderWorkflows workflows(firmware, session, *opener, dlg.view());
    dlg.SetWorkflows(&workflows);
    const window::CloseOnSignals closeSignals([&dlg] { dlg.CloseOnRequest(); });

    dlg.exec();
    // The loader goes before the window: its thread must be gone first.
    dlg.ShutDownWorkflows();
    return closeSignals.ExitStatus(0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Read before the toolkit removes the options it knows.
  const window::WindowParse parsed =
      window::ParseWindowCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (const auto status = window::EarlyExit(parsed, argc, argv, stdout, stderr)) return *status;
  QApplication application(argc, argv);
  return CVORLoaderXApp::InitInstance(window::DecodedOptions(parsed.line.options));
}
