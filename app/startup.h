#pragma once
// The sequences the window runs: the start-up sequence once it is up, and Check for Updates.

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "common/loader_view.h"
#include "device/serial_port.h"

namespace app {

// Lists the ports, refreshes the catalogue, builds the product table, checks the files and,
// when a port exists, runs Connect.
void RunStartupSequence(FirmwareSet& firmware, DeviceSession& session, device::PortOpener& opener,
                        LoaderView& view);

// The catalogue steps alone.
CatalogueReport CheckForUpdates(FirmwareSet& firmware, DeviceSession& session, LoaderView& view);

}  // namespace app
