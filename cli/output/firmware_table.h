#pragma once
// The firmware files as `check` lists them for the person writing a station profile: each
// file with its product, version and the SHA-256 a profile's [[approved]] entry names.

#include <string>
#include <vector>

#include "catalogue/product_table.h"

namespace cli {

// A header and one line per product row: file, product, version, SHA-256 ("-" for a file the
// check did not accept); nothing for an empty table.
std::vector<std::string> FirmwareTableLines(const catalogue::ProductTable& table);

}  // namespace cli
