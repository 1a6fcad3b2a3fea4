// Once the window is up: ports, catalogue, product table, firmware files, then Connect.

#include "app/startup.h"

#include "app/port_listing.h"

namespace app {

Preparation PrepareStartup(FirmwareSet& firmware, platform::PortOpener& opener, LoaderView& view,
                           const std::stop_token& stop, const std::function<bool(PortList&)>& onPorts) {
  Preparation done;
  done.ports = ListPorts(opener, view);
  if (onPorts && !onPorts(done.ports)) {
    done.abandoned = true;
    return done;
  }
  view.enableConnect(false);
  view.enableRawBoot(false);
  if (!firmware.folderProblem().empty()) view.appendLog(firmware.folderProblem());
  if (!firmware.folderDetail().empty()) view.detail(firmware.folderDetail());
  done.stopped = stop.stop_requested();
  if (done.stopped) return done;

  done.catalogue = firmware.RunCatalogueSteps(view, stop);
  done.stopped = done.catalogue.stopped;
  return done;
}

void RunStartupSequence(FirmwareSet& firmware, DeviceSession& session, platform::PortOpener& opener,
                        LoaderView& view) {
  Preparation prepared = PrepareStartup(firmware, opener, view, session.stopToken());
  const bool ready = prepared.ready();
  session.SetPorts(std::move(prepared.ports));
  if (ready) session.OnConnect();
}

CatalogueReport CheckForUpdates(FirmwareSet& firmware, DeviceSession& session, LoaderView& view) {
  return firmware.RunCatalogueSteps(view, session.stopToken());
}

}  // namespace app
