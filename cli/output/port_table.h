#pragma once
// What `ports` shows beside the bare "COMn" lines: each listed port's device path and what the
// system knows of the adapter behind it, as an aligned table.

#include <string>
#include <vector>

#include "common/loader_view.h"

namespace cli {

// A header line and one line per port, columns aligned: port, device path, USB vendor and
// product ID ("0403:6001"), manufacturer, product, serial number; "-" where nothing is known.
// No lines for an empty list.
std::vector<std::string> PortTableLines(const std::vector<PortEntry>& ports);

}  // namespace cli
