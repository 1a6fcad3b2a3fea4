#pragma once
// The ports a front end offers: listed once, shared by the sessions that run on them.

#include "common/loader_view.h"
#include "common/port_list.h"
#include "device/steps.h"
#include "platform/serial_port.h"

namespace app {

// Lists the ports that open, logs "%i Com Ports Found." and, as details, why ports that are
// there were left out.
PortList ListPorts(platform::PortOpener& opener, LoaderView& view);

// The index of port `number` in `ports`, or -1.
int IndexOfPort(const PortList& ports, int number);

}  // namespace app
