#pragma once
// A station's result line for one device as the terminal shows it.

#include <string>

#include "app/station/station.h"

namespace cli {

// "COM3: ID 11456 (VORnet Amp) V1.20 -> V1.30: -Device Programed OK.": the device's texts
// (Latin-1, one byte to one character) become UTF-8 first, as in the history table, and only
// then are control characters shown as "?", so a letter such as 0xE4 reaches the terminal as
// the letter it is.
std::string TerminalStationResultLine(const app::StationOutcome& outcome);

}  // namespace cli
