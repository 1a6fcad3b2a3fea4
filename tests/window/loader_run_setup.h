#pragma once
// A machine set up for a real programming run of the window: a program data folder with a
// catalogue that names one product (code 0a1b, firmware 1.80, encrypted) and its firmware
// file, and the environment pointing the loader at it and at the simulator's port folder.
// Used by the window's tests and by its responsiveness benchmark.

#include <memory>
#include <string>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "platform/serial_port.h"
#include "window/loader_workflows.h"
#include "window/main_dialog.h"

namespace window_test {

// Sets VORLOADER_PROGRAMDATA and VORLOADER_COM_DIR under `dir`, creates the firmware folder
// and fills it. Returns the firmware folder (ending with a separator), empty on failure.
std::string PrepareLoaderRun(const std::string& dir, std::size_t flashBytes);

// The real loader behind a window, as the program wires them.
struct LoaderBehindWindow {
  LoaderBehindWindow(CVORLoaderXDlg& dlg, int options, const std::string& firmFolder);
  ~LoaderBehindWindow();
  std::unique_ptr<platform::PortOpener> opener;
  app::FirmwareSet firmware;
  app::DeviceSession session;
  window::LoaderWorkflows workflows;
  CVORLoaderXDlg& window;
};

}  // namespace window_test
