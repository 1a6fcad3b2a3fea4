#pragma once
// Firmware versions compared in exact hundredths.

#include <string>

namespace device {

// Versions in exact hundredths from the text's longest decimal prefix ("2.01" -> 201,
// " 2.9x" -> 290, "" -> 0).
long long VersionHundredths(const std::string& text);

}  // namespace device
