// vorloader: the loader's window. Prepares the firmware folder, reads the "--x" option, shows
// the main window until it closes, and ends. It stores no settings.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "app/options.h"
#include "catalogue/firmware_folder.h"
#include "device/serial_port.h"
#include "window/close_on_signals.h"
#include "window/loader_workflows.h"
#include "window/main_dialog.h"
#include "window/program_start.h"
#include "window/window_resources.h"

namespace {

class CVORLoaderXApp {
 public:
  // `args`: the command line after the program name, as the user gave it.
  static int InitInstance(const std::string& args) {
    // The settings key the program is known by; nothing is ever written under it. The
    // application name stays the executable's name: it captions every message box.
    QCoreApplication::setOrganizationName(QStringLiteral("VORnetLoader"));
    if (!window::ResourceError().empty()) {
      std::fprintf(stderr, "vorloader: %s\n", window::ResourceError().c_str());
      return 1;
    }

    const catalogue::FolderResult folder = app::OpenFirmwareFolder();

    CVORLoaderXDlg dlg;
    dlg.m_nOptions = app::ParseOptionArgument(args);

    app::Options options;
    options.m_nOptions = dlg.m_nOptions;
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
  if (const auto status = window::EarlyExit(argc, argv, stdout, stderr)) return *status;
  // Taken before the toolkit removes the options it knows.
  const std::string args = app::JoinArguments(argc, argv);
  QApplication application(argc, argv);
  return CVORLoaderXApp::InitInstance(args);
}
