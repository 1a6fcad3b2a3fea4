#pragma once
// The station window's set-up from its command line and station profile: which ports get a
// panel, the option bits, the record file and database, and what every run is under.

#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/record/record_file.h"
#include "app/site_control.h"
#include "common/port_entry.h"
#include "device/port_discovery.h"
#include "platform/serial_port.h"
#include "window/command_line.h"
#include "window/station/station_window.h"

namespace window {

struct StationStart {
  std::vector<PortEntry> ports;  // one panel each, in order
  int optionBits = 0;
  std::string recordFile;  // empty: the file the rules choose
  std::optional<std::string> recordDb;
  app::SiteControl site;  // without its operator, which each Start gives
  StationSetUp setUp;
  std::vector<std::string> notes;  // profile ports that name no port; for the log
};

// Without a profile: every listed port, the command line's bits. With one: its ports (a COM
// name not listed yet gets its panel too, and waits for its port), or every listed port but
// those it skips; its option bits unless the command line gives some; its records; its name,
// work order and approved images. The operator: --operator, else VORLOADER_OPERATOR, else the
// profile's.
StationStart PlanStationStart(const WindowCommandLine& line, const device::PortList& listed,
                              const platform::PortOpener& opener, const app::Environment& env);

// `env` with VORLOADER_HISTORY and VORLOADER_RECORD_DB as the station's set-up names them.
app::Environment StationEnvironment(const StationStart& start, app::Environment env);

}  // namespace window
