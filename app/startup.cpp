// Once the window is up: ports, catalogue, product table, firmware files, then Connect.

#include "app/startup.h"

#include "app/port_listing.h"

namespace app {

void RunStartupSequence(FirmwareSet& firmware, DeviceSession& session, device::PortOpener& opener,
                        LoaderView& view) {
  session.SetPorts(ListPorts(opener, view));
  view.enableConnect(false);
  view.enableRawBoot(false);
  if (!firmware.folderProblem().empty()) view.appendLog(firmware.folderProblem());
  if (!firmware.folderDetail().empty()) view.detail(firmware.folderDetail());
  if (session.stopToken().stop_requested()) return;

  const CatalogueReport report = firmware.RunCatalogueSteps(view, session.stopToken());
  if (report.stopped || report.products == 0) return;
  if (session.portsFound()) session.OnConnect();
}

CatalogueReport CheckForUpdates(FirmwareSet& firmware, DeviceSession& session, LoaderView& view) {
  return firmware.RunCatalogueSteps(view, session.stopToken());
}

}  // namespace app
