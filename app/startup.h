#pragma once
// The start-up preparation both front ends run whole, and the sequences the window runs: the
// start-up sequence once it is up, and Check for Updates.

#include <functional>
#include <stop_token>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "common/loader_view.h"
#include "common/port_list.h"
#include "platform/serial_port.h"

namespace app {

// What the preparation found.
struct Preparation {
  PortList ports;
  CatalogueReport catalogue;
  bool stopped = false;    // a stop request ended it early
  bool abandoned = false;  // `onPorts` refused the ports: nothing was fetched
  // A device workflow can follow: a port exists and the product table has a product.
  bool ready() const { return readyForStation() && !ports.entries.empty(); }
  // A station can run: it waits for its ports, so none need be there yet.
  bool readyForStation() const { return !stopped && !abandoned && catalogue.products > 0; }
};

// Lists the ports (then `onPorts`, when given, may pick an entry or, returning false, end the
// preparation before anything is downloaded), greys Connect and Raw Boot, tells the folder's
// problem and its detail, then refreshes the catalogue, builds the product table and checks
// the files. Stops early when `stop` is requested.
Preparation PrepareStartup(FirmwareSet& firmware, platform::PortOpener& opener, LoaderView& view,
                           const std::stop_token& stop, const std::function<bool(PortList&)>& onPorts = {});

// The preparation, then Connect when a port exists and the table has a product.
void RunStartupSequence(FirmwareSet& firmware, DeviceSession& session, platform::PortOpener& opener,
                        LoaderView& view);

// The catalogue steps alone.
CatalogueReport CheckForUpdates(FirmwareSet& firmware, DeviceSession& session, LoaderView& view);

}  // namespace app
